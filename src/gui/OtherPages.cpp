// The "Post message" and "Global" pages.

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "gui/GuiUtil.h"
#include "gui/TfrmMain.h"

namespace corvanteer {

QWidget* TfrmMain::BuildPostPage() {
    auto* page = Named<QWidget>(this, "tabPostMessage");
    auto* grid = Child<QGridLayout>(page);
    page->setLayout(grid);
    cmbPostedMsgs = Named<QComboBox>(page, "cmbPostedMsgs");
    butSaveMsg = Named<QPushButton>(page, "butSaveMsg", QStringLiteral("Save as"));
    butDelMsg = Named<QPushButton>(page, "butDelMsg", QStringLiteral("Delete"));
    butDelMsg->setEnabled(false);
    auto* savedRow = Child<QHBoxLayout>(static_cast<QWidget*>(nullptr));
    savedRow->addWidget(cmbPostedMsgs, 1);
    savedRow->addWidget(butSaveMsg);
    savedRow->addWidget(butDelMsg);
    grid->addLayout(savedRow, 0, 0, 1, 2);
    edtFrom = Named<QLineEdit>(page, "edtFrom");
    edtSubject = Named<QLineEdit>(page, "edtSubject");
    memoMessage = Named<QPlainTextEdit>(page, "memoMessage");
    grid->addWidget(Child<QLabel>(page, QStringLiteral("From")), 1, 0);
    grid->addWidget(edtFrom, 1, 1);
    grid->addWidget(Child<QLabel>(page, QStringLiteral("Subject")), 2, 0);
    grid->addWidget(edtSubject, 2, 1);
    grid->addWidget(Child<QLabel>(page, QStringLiteral("Msg")), 3, 0, Qt::AlignTop);
    grid->addWidget(memoMessage, 3, 1);
    butPostMsg = Named<QPushButton>(page, "butPostMsg", QStringLiteral("Post msg"));
    butCancelPost = Named<QPushButton>(page, "butCancelPost", QStringLiteral("Abort"));
    butCancelPost->setEnabled(false);
    auto* postRow = Child<QHBoxLayout>(static_cast<QWidget*>(nullptr));
    postRow->addStretch(1);
    postRow->addWidget(butPostMsg);
    postRow->addWidget(butCancelPost);
    grid->addLayout(postRow, 4, 0, 1, 2);

    connect(butSaveMsg, &QPushButton::clicked, this, [this] { butSaveMsgClick(); });
    connect(butDelMsg, &QPushButton::clicked, this, [this] { butDelMsgClick(); });
    connect(butPostMsg, &QPushButton::clicked, this, [this] { butPostMsgClick(); });
    connect(butCancelPost, &QPushButton::clicked, this, [this] { butCancelPostClick(); });
    connect(cmbPostedMsgs, &QComboBox::activated, this, [this] { cmbPostedMsgsChange(); });
    return page;
}

}  // namespace corvanteer
