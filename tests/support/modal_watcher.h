// Answers modal windows once a user could.
#pragma once

#include <QObject>
#include <QWidget>

#include <functional>
#include <map>

namespace velm::testing {

// Calls `ready` for each modal window shown while it lives, once a user could
// answer it: the window is active (its focus set) and, for a file dialog, the
// listing of its folder has arrived (it moves the dialog's selection).
// Answering earlier races the window's own start.
class ModalWatcher : public QObject {
public:
    explicit ModalWatcher(std::function<void(QWidget*)> ready);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Waiting {
        bool active = false;
        bool listed = true;
    };
    void Expect(QWidget* w);
    void Ready(QWidget* w, bool Waiting::*happened);

    std::function<void(QWidget*)> ready_;
    std::map<QWidget*, Waiting> waiting_;
};

} // namespace velm::testing
