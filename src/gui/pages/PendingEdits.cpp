#include "gui/pages/PendingEdits.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <algorithm>

#include "gui/GuiUtil.h"

namespace corvanteer {

void PendingEdits::StoreOnLeave(QWidget* field, std::function<void()> store) {
    stores_.emplace_back(field, store);
    OnLeave(field, [this, field, store] {
        if (filling_) {
            return;
        }
        pending_.erase(std::remove(pending_.begin(), pending_.end(), field), pending_.end());
        store();
    });
    auto markPending = [this, field] {
        if (!filling_ && std::find(pending_.begin(), pending_.end(), field) == pending_.end()) {
            pending_.push_back(field);
        }
    };
    if (auto* edit = qobject_cast<QLineEdit*>(field)) {
        QObject::connect(edit, &QLineEdit::textEdited, edit, markPending);
    } else if (auto* memo = qobject_cast<QPlainTextEdit*>(field)) {
        QObject::connect(memo, &QPlainTextEdit::textChanged, memo, markPending);
    }
}

void PendingEdits::CommitAll() {
    const std::vector<QWidget*> pending = std::move(pending_);
    pending_.clear();
    for (QWidget* field : pending) {
        for (const auto& [bound, store] : stores_) {
            if (bound == field) {
                store();
            }
        }
    }
}

}  // namespace corvanteer
