// Our base strings and signatures against a second implementation:
// python3-oauthlib (Debian's package, run with Debian's interpreter) and
// Python's own hmac and hashlib, over generated requests.

#include "DropboxSDK/MPOAuth/MPOAuthSignatureParameter.h"
#include "DropboxSDK/MPOAuth/MPOAuthURLRequest.h"
#include "DropboxSDK/MPOAuth/MPURLEscapingAdditions.h"
#include "Kit/JSON/JSONAdditions.h"

#include "Support/Command.h"
#include "Support/TestCase.h"

#include <random>
#include <sstream>

namespace {

struct Case {
    std::string method;
    std::string url;
    std::vector<std::pair<std::string, std::string>> params;
    std::string consumerSecret;
    std::string tokenSecret;
};

// Names and values drawn from the characters signing is most likely to get
// wrong: blanks, "~", "/", "+", "%", "=", "&", non-ASCII text, empty values.
std::string randomText(std::mt19937& random, bool allowEmpty)
{
    static const std::vector<std::string> pieces { "a", "Z", "0", "9", " ", "~", "/", "+", "%", "=", "&", "-", "_", ".",
        "é", "日本", "ß", "@", "!", "*", "'", "(", ")", "%20", "?", "#", ":", "\t" };
    size_t length = std::uniform_int_distribution<size_t>(allowEmpty ? 0 : 1, 6)(random);
    std::string text;
    for (size_t i = 0; i < length; ++i)
        text += pieces[std::uniform_int_distribution<size_t>(0, pieces.size() - 1)(random)];
    return text;
}

std::vector<Case> generatedCases()
{
    static const std::vector<std::string> urls { "http://photos.example.net/photos", "https://api.example.com:8443/0/metadata/dropbox/a%20b",
        "http://127.0.0.1:8089/0/files/dropbox/%C3%A9t%C3%A9/x.txt", "https://example.com/", "http://example.com/a/b%2Fc/d~e",
        "http://example.com:8080/p+q/r%25s" };
    std::mt19937 random(20240612);
    std::vector<Case> cases;
    for (int i = 0; i < 200; ++i) {
        Case c;
        c.method = i % 3 == 0 ? "POST" : "GET";
        c.url = urls[std::uniform_int_distribution<size_t>(0, urls.size() - 1)(random)];
        size_t count = std::uniform_int_distribution<size_t>(1, 8)(random);
        for (size_t p = 0; p < count; ++p) {
            // Every third name repeats the one before, so that values decide.
            std::string name = p > 0 && p % 3 == 0 ? c.params.back().first : randomText(random, false);
            c.params.emplace_back(name, randomText(random, true));
        }
        c.params.emplace_back("oauth_consumer_key", "dpf43f3p2l4k3l03");
        c.params.emplace_back("oauth_nonce", std::to_string(i));
        c.consumerSecret = randomText(random, false);
        c.tokenSecret = i % 4 == 0 ? std::string() : randomText(random, false);
        cases.push_back(std::move(c));
    }
    return cases;
}

std::vector<std::string> split(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    std::string part;
    std::istringstream stream(text);
    while (std::getline(stream, part, separator))
        parts.push_back(part);
    return parts;
}

class MPOAuthCrossCheckTest : public test::TestCase { };

TEST_F(MPOAuthCrossCheckTest, BaseStringsAndSignaturesAgreeWithOAuthlib)
{
    auto cases = generatedCases();
    core::Value::Array list;
    for (const auto& c : cases) {
        core::Value::Array params;
        for (const auto& [name, value] : c.params)
            params.push_back(core::Value::makeArray({ name, value }));
        list.push_back(core::Value::makeDictionary({ { "method", c.method }, { "url", c.url },
            { "params", core::Value(std::move(params)) }, { "consumer_secret", c.consumerSecret },
            { "token_secret", c.tokenSecret } }));
    }
    auto input = JSONRepresentation(core::Value(std::move(list)));
    ASSERT_TRUE(input);
    auto result = test::runCommand({ "/usr/bin/python3", sourcePath("tests/DropboxSDK/MPOAuth/oauth_crosscheck.py") }, *input);
    ASSERT_EQ(result.status, 0) << "python3-oauthlib missing? (scripts/install-deps)";
    auto lines = split(result.output, '\n');
    ASSERT_EQ(lines.size(), cases.size());

    for (size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        auto fields = split(lines[i], '\t');
        ASSERT_EQ(fields.size(), 3u) << lines[i];
        EXPECT_EQ(fields[1], fields[2]) << "the two Python signatures differ for case " << i;

        MPURLRequestParameter::List parameters;
        for (const auto& [name, value] : c.params)
            parameters.emplace_back(name, value);
        auto request = MPOAuthURLRequest::initWithURL(core::URL::parse(c.url).value(), parameters);
        request.setHTTPMethod(c.method);
        std::string key = stringByAddingURIPercentEscapesUsingEncoding(c.consumerSecret) + "&"
            + stringByAddingURIPercentEscapesUsingEncoding(c.tokenSecret);
        core::URLRequest signedRequest = request.urlRequestSignedWithSecret(key, "HMAC-SHA1");
        std::string sorted = MPURLRequestParameter::parameterStringForParameters(request.parameters());
        EXPECT_EQ(MPOAuthSignatureParameter::signatureBaseStringUsingParameterString(sorted, request), fields[0])
            << "case " << i;
        std::string sent = c.method == "GET" ? signedRequest.url().query() : signedRequest.body().toString();
        EXPECT_TRUE(sent.ends_with("&oauth_signature=" + stringByAddingURIPercentEscapesUsingEncoding(fields[1])))
            << "case " << i << ": " << sent;
    }
}

} // namespace
