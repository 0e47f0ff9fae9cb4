#pragma once

// The window's record of text fields edited since they were last stored, and whether the
// window is filling its controls (nothing the controls signal then is stored). One for the
// whole window: an edit made on any page is written to the list it was made for before
// another list is shown, a scan starts or the program ends.

#include <functional>
#include <utility>
#include <vector>

class QWidget;

namespace corvanteer {

class PendingEdits {
public:
    bool Filling() const { return filling_; }
    void SetFilling(bool on) { filling_ = on; }

    // Sets Filling for its lifetime and then puts back what was there.
    class FillScope {
    public:
        explicit FillScope(PendingEdits& edits) : edits_(edits), was_(edits.filling_) {
            edits_.filling_ = true;
        }
        ~FillScope() { edits_.filling_ = was_; }
        FillScope(const FillScope&) = delete;
        FillScope& operator=(const FillScope&) = delete;

    private:
        PendingEdits& edits_;
        bool was_;
    };

    // Calls store whenever the field (a QLineEdit or QPlainTextEdit) loses the input focus,
    // whether or not its text changed, and counts the field pending from its first edit until
    // then. Neither happens while filling. store must report its own failures; the field
    // must not outlive this object.
    void StoreOnLeave(QWidget* field, std::function<void()> store);
    // Stores every pending field, in the order they were first edited, and forgets them.
    void CommitAll();
    // Forgets the pending fields without storing them (their list is gone or replaced).
    void ForgetAll() { pending_.clear(); }

private:
    bool filling_ = false;
    std::vector<std::pair<QWidget*, std::function<void()>>> stores_;
    std::vector<QWidget*> pending_;
};

}  // namespace corvanteer
