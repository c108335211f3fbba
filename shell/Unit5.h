// TForm5: the "Starting..." splash shown while start-up creates the forms.
#pragma once

#include <QDialog>

namespace velm {

class TForm5 : public QDialog {
    Q_OBJECT
public:
    explicit TForm5(QWidget* parent = nullptr);
};

} // namespace velm
