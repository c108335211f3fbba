// Installs the desktop presenter for the engine (UserInterface): the
// "Print Status" dialog, message boxes, the message pump and the preview
// window. Needs a QApplication.
#pragma once

#include <QMessageBox>
#include <QString>

#include <string>

namespace velm {

void InstallDesktopPresenter();

// "Velm for Windows 95": the caption of the application's message boxes.
// It is not Qt's application display name, which the platform would append
// to every window caption.
QString ApplicationTitle();

// A dialog border: caption and close box, no minimise or maximise button,
// which window managers give every window that does not say otherwise.
inline constexpr Qt::WindowFlags DialogBorder =
    Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;

// A modal message box of the application over the active window, with a
// dialog border; returns the button pressed.
QMessageBox::StandardButton ShowMessageBox(QMessageBox::Icon Icon, const QString& Text,
                                           QMessageBox::StandardButtons Buttons = QMessageBox::Ok,
                                           QMessageBox::StandardButton Default = QMessageBox::NoButton);
// The error box of a failed command: the text with the critical icon and OK.
void ShowErrorBox(const std::string& text);

} // namespace velm
