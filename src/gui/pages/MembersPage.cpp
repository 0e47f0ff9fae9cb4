// The "Members" page: the roster with its ban marks, the list's statistics, recent
// activity, moderators and blacklist.

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "gui/GuiUtil.h"
#include "gui/TfrmMain.h"

namespace corvanteer {

QWidget* TfrmMain::BuildMembersPage() {
    auto* page = Named<QWidget>(this, "tabMembers");
    auto* grid = Child<QGridLayout>(page);
    page->setLayout(grid);

    auto* rosterPanel = Child<QWidget>(page);
    auto* rosterLayout = Child<QVBoxLayout>(rosterPanel);
    rosterPanel->setLayout(rosterLayout);
    lstMembers = Named<QListWidget>(rosterPanel, "lstMembers");
    lstMembers->setSortingEnabled(true);
    lstMembers->setMinimumSize(260, 280);
    lstMembers->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    lblBanNote = Named<QLabel>(rosterPanel, "lblBanNote",
                               QStringLiteral("Check to ban member from posting"));
    rosterLayout->addWidget(lstMembers);
    rosterLayout->addWidget(lblBanNote);

    auto* buttons = Child<QWidget>(rosterPanel);
    auto* buttonRow = Child<QGridLayout>(buttons);
    buttons->setLayout(buttonRow);
    butAddMember = Named<QPushButton>(buttons, "butAddMember", QStringLiteral("Add"));
    butAddMember->setToolTip(QStringLiteral("Add user"));
    butDeleteMember = Named<QPushButton>(buttons, "butDeleteMember", QStringLiteral("Remove"));
    butDeleteMember->setToolTip(QStringLiteral("Remove user"));
    butRefreshList = Named<QPushButton>(buttons, "butRefreshList", QStringLiteral("Refresh"));
    butPassword = Named<QPushButton>(buttons, "butPassword", QStringLiteral("Change password"));
    butImportList = Named<QPushButton>(buttons, "butImportList", QStringLiteral("Import list"));
    butExportList = Named<QPushButton>(buttons, "butExportList", QStringLiteral("Export list"));
    buttonRow->addWidget(butAddMember, 0, 0);
    buttonRow->addWidget(butDeleteMember, 0, 1);
    buttonRow->addWidget(butRefreshList, 0, 2);
    buttonRow->addWidget(butImportList, 1, 0);
    buttonRow->addWidget(butExportList, 1, 1);
    buttonRow->addWidget(butPassword, 1, 2);
    rosterLayout->addWidget(buttons);
    grid->addWidget(rosterPanel, 0, 0, 3, 1);

    auto* stats = Named<QGroupBox>(page, "grpListStats", QStringLiteral("List stats"));
    auto* statsGrid = Child<QGridLayout>(stats);
    stats->setLayout(statsGrid);
    statsGrid->addWidget(Child<QLabel>(stats, QStringLiteral("Total members")), 0, 0);
    lblTotalMembers = Named<QLabel>(stats, "lblTotalMembers", QStringLiteral("0"));
    statsGrid->addWidget(lblTotalMembers, 0, 1);
    lblBannedCaption = Named<QLabel>(stats, "lblBannedCaption", QStringLiteral("Banned members"));
    lblBannedMembers = Named<QLabel>(stats, "lblBannedMembers", QStringLiteral("0"));
    statsGrid->addWidget(lblBannedCaption, 1, 0);
    statsGrid->addWidget(lblBannedMembers, 1, 1);
    grid->addWidget(stats, 0, 1);

    auto* recent = Child<QWidget>(page);
    auto* recentLayout = Child<QVBoxLayout>(recent);
    recent->setLayout(recentLayout);
    recentLayout->setContentsMargins(0, 0, 0, 0);
    recentLayout->addWidget(Child<QLabel>(recent, QStringLiteral("Recent activity")));
    lstLatestActions = Named<QListWidget>(recent, "lstLatestActions");
    lstLatestActions->setMinimumHeight(110);
    recentLayout->addWidget(lstLatestActions);
    grid->addWidget(recent, 1, 1);

    auto* texts = Child<QWidget>(page);
    auto* textsLayout = Child<QGridLayout>(texts);
    texts->setLayout(textsLayout);
    textsLayout->setContentsMargins(0, 0, 0, 0);
    textsLayout->addWidget(Child<QLabel>(texts, QStringLiteral("Moderators")), 0, 0);
    textsLayout->addWidget(Child<QLabel>(texts, QStringLiteral("Blacklist")), 0, 1);
    memoModerators = Named<QPlainTextEdit>(texts, "memoModerators");
    memoBlacklist = Named<QPlainTextEdit>(texts, "memoBlacklist");
    memoModerators->setLineWrapMode(QPlainTextEdit::NoWrap);
    memoBlacklist->setLineWrapMode(QPlainTextEdit::NoWrap);
    textsLayout->addWidget(memoModerators, 1, 0);
    textsLayout->addWidget(memoBlacklist, 1, 1);
    grid->addWidget(texts, 2, 1);

    connect(butRefreshList, &QPushButton::clicked, this, [this] { butRefreshListClick(); });
    connect(butAddMember, &QPushButton::clicked, this, [this] { butAddMemberClick(); });
    connect(butDeleteMember, &QPushButton::clicked, this, [this] { butDeleteMemberClick(); });
    connect(butPassword, &QPushButton::clicked, this, [this] { butPasswordClick(); });
    connect(butImportList, &QPushButton::clicked, this, [this] { butImportListClick(); });
    connect(butExportList, &QPushButton::clicked, this, [this] { butExportListClick(); });
    connect(lstMembers, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
        if (!edits_.Filling()) {
            lstMembersClickCheck(item);
        }
    });
    OnLeave(lstMembers, [this] { tabMembersShow(); });
    return page;
}

}  // namespace corvanteer
