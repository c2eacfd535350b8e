#include "gridstore/CellStore.h"
#include "protocol/Columns.h"
#include "protocol/ExcelExport.h"
#include "protocol/WordExport.h"
#include "support/RecordingShell.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

// The workbook and the document as an office suite opens them: LibreOffice
// converts each, headless, into plain text, and every name must come out as
// it was typed (a character XML forbids as U+FFFD), every time as the table
// shows it.
namespace {

const QList<int> kWidths { 52, 300, 102, 90, 72, 52, -1 };

const QStringList kNames { QStringLiteral("Berg, Anna"), QStringLiteral("Jörg Müller"), QStringLiteral("A<B & C"),
    QStringLiteral("Max \"Blitz\" Meier"), QStringLiteral("Zoë 🏃"),
    QStringLiteral("Ab") + QChar(0xFFFF) + QStringLiteral("cd"), QStringLiteral("Ef") + QChar(0) + QStringLiteral("gh"),
    QStringLiteral("2024") };

QString shownName(const QString& name)
{
    QString shown = name;
    shown.replace(QChar(0xFFFF), QChar(0xFFFD)).replace(QChar(0), QChar(0xFFFD));
    return shown;
}

TCellStore race()
{
    TCellStore cells(protocol::kProtocolColCount, static_cast<int>(kNames.size()) + 2);
    for (int c = 0; c < protocol::kProtocolColCount; ++c)
        cells.SetCell(c, 0, protocol::kProtocolHeaders[static_cast<size_t>(c)]);
    for (int i = 0; i < kNames.size(); ++i) {
        cells.SetRow(i + 1,
            { i == 0 ? QStringLiteral("007") : QString::number(i + 1), kNames[i], QStringLiteral("9:05.12,30"),
                i == 1 ? QStringLiteral("1:02.03,45") : QStringLiteral("1.05,2%1").arg(i), QStringLiteral("0,00"),
                QString::number(i + 1), QStringLiteral("65120") });
    }
    cells.SetRow(static_cast<int>(kNames.size()) + 1, { "", "", "", "", "", "-", "" });
    return cells;
}

} // namespace

class TestOfficeOpen : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    QString m_soffice;
    platform::RecordingShell m_shell;

    // Converts a file with LibreOffice into the folder "out"; the result's
    // text, empty on failure.
    QString convert(const QString& file, const QString& filter, const QString& suffix)
    {
        const QString out = m_dir.filePath(QStringLiteral("out"));
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(m_soffice,
            { QStringLiteral("--headless"), QStringLiteral("--norestore"),
                QStringLiteral("-env:UserInstallation=file://") + m_dir.filePath(QStringLiteral("profile")),
                QStringLiteral("--convert-to"), filter, QStringLiteral("--outdir"), out, file });
        if (!p.waitForFinished(180000)) {
            p.kill();
            p.waitForFinished();
            qWarning("LibreOffice did not finish within three minutes");
            return {};
        }
        const QString converted = out + QLatin1Char('/') + QFileInfo(file).completeBaseName() + suffix;
        QFile f(converted);
        if (!f.open(QIODevice::ReadOnly)) {
            qWarning("no %s: %s", qPrintable(converted), p.readAll().constData());
            return {};
        }
        return QString::fromUtf8(f.readAll());
    }

private slots:
    void initTestCase()
    {
        m_soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
        if (m_soffice.isEmpty())
            QSKIP("LibreOffice is not installed (Debian packages libreoffice-calc-nogui and "
                  "libreoffice-writer-nogui, which scripts/install-deps.sh --tests installs)");
        QVERIFY(m_dir.isValid());
        platform::SetShell(&m_shell);
    }
    void cleanupTestCase() { platform::SetShell(nullptr); }

    void workbook_opensWithEveryNameAndTime()
    {
        const QByteArray previous = qgetenv("TMPDIR");
        qputenv("TMPDIR", QFile::encodeName(m_dir.path()));
        const bool exported = protocol::ExcelExport(race());
        qputenv("TMPDIR", previous);
        QVERIFY(exported);
        QCOMPARE(m_shell.calls.size(), 1);
        const QString workbook = m_shell.calls.takeFirst().mid(5);

        // Comma-separated, quoted, UTF-8, cells as shown.
        const QString csv = convert(
            workbook, QStringLiteral("csv:Text - txt - csv (StarCalc):44,34,76,1,,1031"), QStringLiteral(".csv"));
        QVERIFY(!csv.isEmpty());
        QStringList lines = csv.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        for (QString& line : lines)
            line = line.trimmed();
        QCOMPARE(lines.size(), kNames.size() + 1);
        QCOMPARE(lines[0], QStringLiteral("Nr.,Name,Start,Zeit,Split,Platz"));
        for (int i = 0; i < kNames.size(); ++i) {
            QString name = shownName(kNames[i]);
            name.replace(QLatin1Char('"'), QLatin1String("\"\""));
            QVERIFY2(lines[i + 1].contains(QLatin1Char('"') + name + QLatin1Char('"'))
                    || lines[i + 1].contains(QLatin1Char(',') + name + QLatin1Char(',')),
                qPrintable(lines[i + 1]));
        }
        // Number "007" stays text; the times show as the table shows them, with
        // the decimal separator of the converter's language.
        const QRegularExpression first(
            QStringLiteral("^007,\"Berg, Anna\",\"?9:05:12[.,]30\"?,\"?01:05[.,]20\"?,\"?00:00[.,]00\"?,1$"));
        QVERIFY2(first.match(lines[1]).hasMatch(), qPrintable(lines[1]));
        const QRegularExpression hours(QStringLiteral(",\"?1:02:03[.,]45\"?,"));
        QVERIFY2(hours.match(lines[2]).hasMatch(), qPrintable(lines[2]));
    }

    void document_opensWithEveryName()
    {
        const QString document = m_dir.filePath(QStringLiteral("lauf.docx"));
        QVERIFY(protocol::WordExport(protocol::kWordSaveMode, document, race(), kWidths,
            QStringLiteral(RENNZEIT_BIN_DIR "/Protokollvorlage.docx")));
        const QString text = convert(document, QStringLiteral("txt:Text (encoded):UTF8"), QStringLiteral(".txt"));
        QVERIFY(!text.isEmpty());
        for (const QString& name : kNames)
            QVERIFY2(text.contains(shownName(name)), qPrintable(shownName(name)));
        QVERIFY(text.contains(QStringLiteral("1:02.03,45")));
        QVERIFY(!text.contains(QStringLiteral("65120")));
    }
};

QTEST_GUILESS_MAIN(TestOfficeOpen)
#include "tst_officeopen.moc"
