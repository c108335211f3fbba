// TAboutBox: product name, version and what the program does.
#pragma once

#include <QDialog>

namespace velm {

class TAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox(QWidget* parent = nullptr);
};

// The version of this build, as the project declares it.
const char* VelmVersion();

// Whether the windows run under a Wayland compositor, where no window stays
// on top and the compositor alone moves windows; the About box says so.
bool OnWayland();

// The one instance, created at start-up; nullptr before and after.
extern TAboutBox* AboutBox;

} // namespace velm
