#include "engine/Templates.h"

#include <gtest/gtest.h>

namespace corvanteer {
namespace {

ScanContext Context() {
    ScanContext context;
    context.SenderAddress = "joe@example.org";
    context.ListName = "NEWS";
    context.Settings.ListPostingAddress = "news@example.test";
    context.GeneratedPassword = "482913";
    return context;
}

TEST(FillTemplate, ReplacesTheFourVariablesAndLeavesOtherBracesAndCasesAlone) {
    ScanContext context = Context();
    EXPECT_EQ(FillTemplate("To {Email} of {ListName}/{ListName} at {ListAddress}, ask "
                           "{ListServerAddress}. {email} {LISTNAME} {Other} {Password}",
                           context, "ls@example.test"),
              "To joe@example.org of NEWS/NEWS at news@example.test, ask ls@example.test. "
              "{email} {LISTNAME} {Other} {Password}");
    EXPECT_EQ(FillTemplate("", context, "ls@example.test"), "");
}

TEST(FillTemplate, LaterStepsSeeEarlierValuesButAStepNeverRescansItsOwnValue) {
    ScanContext context = Context();
    // Values holding variable names show the order: {Email} first, {ListName} second, ...
    context.SenderAddress = "{ListName}";
    context.ListName = "{ListName}{ListAddress}";
    context.Settings.ListPostingAddress = "{Email}";
    EXPECT_EQ(FillTemplate("{Email}|{ListAddress}", context, "x"), "{ListName}{Email}|{Email}");
}

TEST(FillTemplate, PasswordOnlyWhereTheListRequiresPasswords) {
    ScanContext context = Context();
    EXPECT_EQ(FillTemplate("pw={Password}", context, "", TemplatePassword::Generated),
              "pw={Password}");
    context.Settings.RequirePassword = true;
    EXPECT_EQ(FillTemplate("pw={Password} {Password}", context, "", TemplatePassword::Generated),
              "pw=482913 482913");
    // Any other answer must not show a password made for someone else.
    EXPECT_EQ(FillTemplate("pw={Password}.", context, ""), "pw=.");
}

}  // namespace
}  // namespace corvanteer
