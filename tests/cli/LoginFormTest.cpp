#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/LoginForm.h"

using VantisClient::LoginForm;

namespace {

const char* const PAGE_ADDRESS = "https://127.0.0.1:18443/auth?client_id=1&layout=client";

struct FormCase {
    const char* name;
    std::string html;
    // Empty: the page must be refused.
    std::string expectedAction;
    std::vector<LoginForm::Field> expectedHiddenFields;
    std::string expectedError;
};

class LoginFormTest : public ::testing::TestWithParam<FormCase> {};

const char* const PASSWORD_INPUT = R"(<input name="password" type="password">)";

}  // namespace

TEST_P(LoginFormTest, ReadsTheSignInFormAsABrowserWould) {
    const FormCase& each = GetParam();
    LoginForm form;
    std::string error;
    const bool read = LoginForm::Read(each.html, Poco::URI(PAGE_ADDRESS), form, error);
    if (each.expectedAction.empty()) {
        EXPECT_FALSE(read);
        EXPECT_NE(std::string::npos, error.find(each.expectedError)) << error;
        return;
    }
    ASSERT_TRUE(read) << error;
    EXPECT_EQ(each.expectedAction, form.action().toString());
    EXPECT_EQ(each.expectedHiddenFields, form.hiddenFields());
}

INSTANTIATE_TEST_SUITE_P(
    Pages, LoginFormTest,
    ::testing::Values(
        FormCase{"BackendPage",
                 R"(<!DOCTYPE html><html><body><form id="login" method="post" action="/auth">
<input type="hidden" name="client_id" value="46899977096215655">
<input type="hidden" name="redirect_uri" value="vantisclient://login_success">
<input type="hidden" name="response_type" value="code">
<input name="username"><input name="password" type="password" required></form></body></html>)",
                 "https://127.0.0.1:18443/auth",
                 {{"client_id", "46899977096215655"},
                  {"redirect_uri", "vantisclient://login_success"},
                  {"response_type", "code"}},
                 ""},
        FormCase{"QuotingCaseAndReferences",
                 R"(<FORM ACTION='/login?step=2'><INPUT TYPE=Hidden NAME=state VALUE=a&amp;b>)"
                 R"(<input type='hidden' name='note' value="it's &lt;&#39;&#x41;&gt; &unknown; &">)"
                 R"(<INPUT TYPE="PASSWORD" NAME="password"></FORM>)",
                 "https://127.0.0.1:18443/login?step=2",
                 {{"state", "a&b"}, {"note", "it's <'A> &unknown; &"}},
                 ""},
        // A search form before it, and forms in a comment and a script, are not the sign-in form.
        FormCase{"TheFormThatAsksForAPassword",
                 std::string(R"(<form action="/search"><input type="hidden" name="q" value="x"></form>)") +
                     R"(<!-- <form action="https://elsewhere.test/"><input type="password"></form> -->)" +
                     R"(<script>var s = "<form action='https://elsewhere.test/'><input type=password>";</script>)" +
                     R"(<form method="post"><input type="hidden" name="token" value="t1">)" + PASSWORD_INPUT +
                     "</form>",
                 PAGE_ADDRESS,
                 {{"token", "t1"}},
                 ""},
        FormCase{"AbsoluteActionOnTheSameHost",
                 std::string(R"(<form action="https://127.0.0.1:18443/auth">)") + PASSWORD_INPUT + "</form>",
                 "https://127.0.0.1:18443/auth",
                 {},
                 ""},
        FormCase{
            "NoPasswordField", R"(<form action="/auth"><input name="username"></form>)", "", {}, "no sign-in form"},
        FormCase{"PasswordOutsideAForm", std::string("<p>") + PASSWORD_INPUT + "</p>", "", {}, "no sign-in form"},
        FormCase{"AnotherHost",
                 std::string(R"(<form action="https://elsewhere.test/auth">)") + PASSWORD_INPUT + "</form>",
                 "",
                 {},
                 "posts to https://elsewhere.test:443"},
        FormCase{"AnotherPort",
                 std::string(R"(<form action="https://127.0.0.1:9999/auth">)") + PASSWORD_INPUT + "</form>",
                 "",
                 {},
                 "posts to https://127.0.0.1:9999"},
        FormCase{"PlainHttp",
                 std::string(R"(<form action="http://127.0.0.1:18443/auth">)") + PASSWORD_INPUT + "</form>",
                 "",
                 {},
                 "not to the login host over HTTPS"},
        FormCase{"ProtocolRelativeToAnotherHost",
                 std::string(R"(<form action="//elsewhere.test/auth">)") + PASSWORD_INPUT + "</form>",
                 "",
                 {},
                 "posts to https://elsewhere.test"}),
    [](const ::testing::TestParamInfo<FormCase>& testCase) { return std::string(testCase.param.name); });
