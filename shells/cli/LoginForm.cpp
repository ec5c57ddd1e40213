#include "cli/LoginForm.h"

#include <Poco/Exception.h>
#include <Poco/String.h>

#include "cli/HtmlTagReader.h"

namespace VantisClient {
namespace {

std::string originOf(const Poco::URI& address) {
    return address.getScheme() + "://" + address.getHost() + ":" + std::to_string(address.getPort());
}

bool sameSecureOrigin(const Poco::URI& action, const Poco::URI& page) {
    return action.getScheme() == "https" && page.getScheme() == "https" &&
           Poco::icompare(action.getHost(), page.getHost()) == 0 && action.getPort() == page.getPort();
}

}  // namespace

bool LoginForm::Read(const std::string& html, const Poco::URI& pageAddress, LoginForm& form, std::string& error) {
    HtmlTagReader reader(html);
    HtmlTagReader::Tag tag;
    bool inForm = false;
    bool asksForPassword = false;
    std::string actionText;
    std::vector<Field> hiddenFields;
    while (reader.next(tag)) {
        if (tag.name == "form" && tag.closing) {
            if (inForm && asksForPassword) break;
            inForm = false;
        } else if (tag.name == "form") {
            inForm = true;
            asksForPassword = false;
            actionText = tag.attribute("action");
            hiddenFields.clear();
        } else if (inForm && tag.name == "input" && !tag.closing) {
            const std::string type = Poco::toLower(tag.attribute("type"));
            if (type == "password") asksForPassword = true;
            if (type == "hidden" && tag.has("name"))
                hiddenFields.emplace_back(tag.attribute("name"), tag.attribute("value"));
        }
    }
    if (!asksForPassword) {
        error = "the login page has no sign-in form";
        return false;
    }
    try {
        Poco::URI action(pageAddress);
        // An empty action posts to the page's own address, as in a browser.
        // A "//host/path" action names a host; the URI class would take it for a path.
        action.resolve(actionText.compare(0, 2, "//") == 0 ? pageAddress.getScheme() + ":" + actionText : actionText);
        if (!sameSecureOrigin(action, pageAddress)) {
            error = "the sign-in form posts to " + originOf(action) + ", not to the login host over HTTPS";
            return false;
        }
        form.m_action = action;
    } catch (const Poco::Exception& problem) {
        error = "the sign-in form's action cannot be read: " + problem.displayText();
        return false;
    }
    form.m_hiddenFields = hiddenFields;
    return true;
}

}  // namespace VantisClient
