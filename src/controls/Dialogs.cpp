// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "controls/Dialogs.h"

#include "platform/AppInfo.h"

#include <QDialog>
#include <QFileDialog>
#include <QPushButton>
#include <QQueue>

namespace dialogs {

namespace {

bool g_testMode = false;
QQueue<QMessageBox::StandardButton> g_answers;
QList<ShownMessage> g_shown;
std::function<int(QDialog*)> g_dialogHandler;
QQueue<FileDialogResult> g_fileNames;
QList<FileDialogRequest> g_fileRequests;

QMessageBox::Icon toQt(Icon icon)
{
    switch (icon) {
    case Icon::Information:
        return QMessageBox::Information;
    case Icon::Warning:
        return QMessageBox::Warning;
    case Icon::Critical:
        return QMessageBox::Critical;
    case Icon::Question:
        return QMessageBox::Question;
    case Icon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

// "Desc (*.csv)|*.csv|Desc2 (*.txt)|*.txt" -> {"Desc (*.csv)", ...} and the
// patterns {"*.csv", ...}.
void splitFilter(const QString& filter, QStringList& names, QStringList& patterns)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString name = parts[i];
        if (!name.contains(QLatin1Char('(')))
            name += QStringLiteral(" (") + parts[i + 1] + QLatin1Char(')');
        names << name;
        patterns << parts[i + 1];
    }
}

FileDialogResult runFileDialog(QWidget* parent, const FileDialogRequest& request, QFileDialog::AcceptMode mode)
{
    g_fileRequests << request;
    if (g_testMode)
        return g_fileNames.isEmpty() ? FileDialogResult {} : g_fileNames.dequeue();

    QStringList names, patterns;
    splitFilter(request.filter, names, patterns);
    QFileDialog dialog(parent, request.caption, request.folder);
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptSave ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setNameFilters(names);
    const int index = request.filterIndex >= 1 && request.filterIndex <= names.size() ? request.filterIndex : 1;
    if (!names.isEmpty())
        dialog.selectNameFilter(names[index - 1]);
    if (!request.fileName.isEmpty())
        dialog.selectFile(request.fileName);
    auto suffixFor = [&](const QString& nameFilter) {
        const int i = names.indexOf(nameFilter);
        const QString pattern = i >= 0 ? patterns[i] : QString();
        if (pattern.startsWith(QLatin1String("*.")) && !pattern.contains(QLatin1Char(';'))
            && pattern != QLatin1String("*.*"))
            return pattern.mid(2);
        QString suffix = request.defaultSuffix;
        return suffix.startsWith(QLatin1Char('.')) ? suffix.mid(1) : suffix;
    };
    if (!names.isEmpty())
        dialog.setDefaultSuffix(suffixFor(names[index - 1]));
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
        [&](const QString& f) { dialog.setDefaultSuffix(suffixFor(f)); });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return { dialog.selectedFiles().constFirst(), int(names.indexOf(dialog.selectedNameFilter())) + 1 };
}

} // namespace

QMessageBox::StandardButton ShowMessage(
    QWidget* parent, Icon icon, const QString& title, const QString& text, QMessageBox::StandardButtons buttons)
{
    if (g_testMode) {
        g_shown << ShownMessage { icon, title, text };
        return g_answers.isEmpty() ? QMessageBox::Ok : g_answers.dequeue();
    }
    // Messages may separate lines with a lone CR; the toolkit shows only LF.
    QString shown = text;
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QMessageBox box(toQt(icon), title, shown, buttons, parent);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

bool AskReplaceFile(QWidget* parent, const QString& title, const QString& fileName)
{
    const QString text = QStringLiteral("Die Datei %1 existiert bereits. Ersetzen?").arg(fileName);
    if (g_testMode) {
        g_shown << ShownMessage { Icon::Question, title, text };
        return !g_answers.isEmpty() && g_answers.dequeue() == QMessageBox::Yes;
    }
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::Cancel, parent);
    box.button(QMessageBox::Yes)->setText(QStringLiteral("Ersetzen"));
    box.button(QMessageBox::Cancel)->setText(QStringLiteral("Abbrechen"));
    // Replacing loses the old file: a hasty Enter must not do it.
    box.setDefaultButton(QMessageBox::Cancel);
    box.setEscapeButton(QMessageBox::Cancel);
    return box.exec() == QMessageBox::Yes;
}

void ShowError(QWidget* parent, const QString& text)
{
    ShowMessage(parent, Icon::Critical, platform::ApplicationTitle(), text);
}

namespace {

void showWithoutWaiting(QWidget* parent, Icon icon, const QString& text)
{
    if (g_testMode) {
        g_shown << ShownMessage { icon, platform::ApplicationTitle(), text };
        return;
    }
    auto* box = new QMessageBox(toQt(icon), platform::ApplicationTitle(), text, QMessageBox::Ok, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setAttribute(Qt::WA_ShowWithoutActivating);
    box->setWindowModality(Qt::NonModal);
    box->show();
}

} // namespace

void ShowErrorWithoutWaiting(QWidget* parent, const QString& text)
{
    showWithoutWaiting(parent, Icon::Critical, text);
}

void ShowNoteWithoutWaiting(QWidget* parent, const QString& text)
{
    showWithoutWaiting(parent, Icon::Information, text);
}

void ShowInfo(QWidget* parent, const QString& text)
{
    ShowMessage(parent, Icon::None, platform::ApplicationTitle(), text);
}

int ExecDialog(QDialog* dialog)
{
    if (g_dialogHandler)
        return g_dialogHandler(dialog);
    return dialog->exec();
}

void SetTestMode(bool on)
{
    g_testMode = on;
    g_answers.clear();
    g_shown.clear();
    g_fileNames.clear();
    g_fileRequests.clear();
}

bool TestMode()
{
    return g_testMode;
}

void QueueAnswer(QMessageBox::StandardButton answer)
{
    g_answers.enqueue(answer);
}

QList<ShownMessage> TakeShownMessages()
{
    QList<ShownMessage> shown;
    shown.swap(g_shown);
    return shown;
}

void SetDialogHandler(std::function<int(QDialog*)> handler)
{
    g_dialogHandler = std::move(handler);
}

FileDialogResult GetSaveFileName(QWidget* parent, const FileDialogRequest& request)
{
    return runFileDialog(parent, request, QFileDialog::AcceptSave);
}

FileDialogResult GetOpenFileName(QWidget* parent, const FileDialogRequest& request)
{
    return runFileDialog(parent, request, QFileDialog::AcceptOpen);
}

void QueueFileName(const QString& fileName, int filterIndex)
{
    g_fileNames.enqueue(FileDialogResult { fileName, filterIndex });
}

QList<FileDialogRequest> TakeFileRequests()
{
    QList<FileDialogRequest> r;
    r.swap(g_fileRequests);
    return r;
}

} // namespace dialogs
