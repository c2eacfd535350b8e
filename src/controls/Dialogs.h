// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QMessageBox>
#include <QString>
#include <QStringList>

#include <functional>

class QDialog;
class QWidget;

// Every message box and modal dialog of the program goes through here, so
// tests can answer them without a person in front of the screen.
namespace dialogs {

enum class Icon { None, Information, Warning, Critical, Question };

struct ShownMessage {
    Icon icon;
    QString title;
    QString text;
};

// Shows a message box with an OK button (or the given buttons) and returns
// the button pressed.
QMessageBox::StandardButton ShowMessage(QWidget* parent, Icon icon, const QString& title, const QString& text,
    QMessageBox::StandardButtons buttons = QMessageBox::Ok);

// The application's error box: a critical message with the application title.
void ShowError(QWidget* parent, const QString& text);

// The error box, shown without waiting for it: the window behind it keeps its
// keyboard focus and keeps working while the box is open.
void ShowErrorWithoutWaiting(QWidget* parent, const QString& text);

// An information box shown without waiting, like the error box above.
void ShowNoteWithoutWaiting(QWidget* parent, const QString& text);

// A plain message box with the application title and an OK button.
void ShowInfo(QWidget* parent, const QString& text);

// "Die Datei <name> existiert bereits. Ersetzen?" with the buttons "Ersetzen"
// and "Abbrechen", Abbrechen focused; true for Ersetzen. In test mode a
// queued Yes answers Ersetzen, anything else Abbrechen.
bool AskReplaceFile(QWidget* parent, const QString& title, const QString& fileName);

// Runs a dialog modally and returns its result.
int ExecDialog(QDialog* dialog);

// Test mode: message boxes are recorded instead of shown and answer with the
// queued answers (OK when none is queued); ExecDialog hands the dialog to the
// installed handler, which acts on it like a user and returns the result.
void SetTestMode(bool on);
bool TestMode();
void QueueAnswer(QMessageBox::StandardButton answer);
QList<ShownMessage> TakeShownMessages();
void SetDialogHandler(std::function<int(QDialog*)> handler);

// Open and save file dialogs; in test mode they return the queued names
// (empty = cancelled).
struct FileDialogRequest {
    QString caption;
    QString folder;
    QString fileName;
    QString filter; // "Desc (*.csv)|*.csv|..." as the program builds it
    int filterIndex = 1; // 1-based
    QString defaultSuffix;
};
struct FileDialogResult {
    QString fileName; // empty when cancelled
    int filterIndex = 1;
};
FileDialogResult GetSaveFileName(QWidget* parent, const FileDialogRequest& request);
FileDialogResult GetOpenFileName(QWidget* parent, const FileDialogRequest& request);
void QueueFileName(const QString& fileName, int filterIndex = 1);
QList<FileDialogRequest> TakeFileRequests();

} // namespace dialogs
