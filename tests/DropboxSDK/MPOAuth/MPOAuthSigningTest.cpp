#include "DropboxSDK/MPOAuth/Base64EncodeData.h"
#include "DropboxSDK/MPOAuth/MPOAuthCredentialConcreteStore.h"
#include "DropboxSDK/MPOAuth/MPOAuthSignatureParameter.h"
#include "DropboxSDK/MPOAuth/MPOAuthURLRequest.h"
#include "DropboxSDK/MPOAuth/MPURLEscapingAdditions.h"
#include "DropboxSDK/MPOAuth/MPURLParameterAdditions.h"
#include "Platform/Core/Exception.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Security/MemoryKeychainStore.h"

#include "Support/TestCase.h"

#include <algorithm>

using core::URL;
using Parameter = MPURLRequestParameter;

namespace {

Parameter param(std::string name, std::optional<std::string> value)
{
    return Parameter(std::move(name), std::move(value));
}

URL url(const std::string& text)
{
    return URL::parse(text).value();
}

std::string base64(std::string_view bytes)
{
    std::string out(bytes.size() * 2 + 8, '\0');
    size_t length = out.size();
    EXPECT_TRUE(Base64EncodeData(bytes.data(), bytes.size(), out.data(), &length));
    out.resize(length);
    return out;
}

class MPOAuthSigningTest : public test::TestCase {
protected:
    // The consumer and token of the published examples.
    std::shared_ptr<MPOAuthCredentialConcreteStore> photosStore()
    {
        auto store = MPOAuthCredentialConcreteStore::initWithCredentials({
            { kMPOAuthCredentialConsumerKey, "dpf43f3p2l4k3l03" },
            { kMPOAuthCredentialConsumerSecret, "kd94hf93k423kf44" },
            { kMPOAuthSignatureMethod, "HMAC-SHA1" },
            { kMPOAuthCredentialAccessToken, "nnch734d00sl2jdk" },
            { kMPOAuthCredentialAccessTokenSecret, "pfkkdhi9sl3r4s00" },
        });
        store->setKeychainStore(keychain);
        return store;
    }

    std::shared_ptr<sec::MemoryKeychainStore> keychain = std::make_shared<sec::MemoryKeychainStore>();
};

TEST_F(MPOAuthSigningTest, PublishedExamplesSignByteForByte)
{
    auto store = photosStore();
    EXPECT_EQ(store->signingKey(), "kd94hf93k423kf44&pfkkdhi9sl3r4s00");

    // OAuth Core 1.0, Appendix A: the protocol parameters in the order the
    // store makes them, the query's pairs first.
    auto request = MPOAuthURLRequest::initWithURL(url("http://photos.example.net/photos"),
        MPURLRequestParameter::List { param("file", "vacation.jpg"), param("size", "original") });
    request.addParameters({ param("oauth_consumer_key", "dpf43f3p2l4k3l03"), param("oauth_token", "nnch734d00sl2jdk"),
        param("oauth_signature_method", "HMAC-SHA1"), param("oauth_timestamp", "1191242096"),
        param("oauth_nonce", "kllo9940pd9333jh"), param("oauth_version", "1.0") });
    core::URLRequest signedRequest = request.urlRequestSignedWithSecret(store->signingKey(), "HMAC-SHA1");
    std::string parameters = Parameter::parameterStringForParameters(request.parameters());
    EXPECT_EQ(MPOAuthSignatureParameter::signatureBaseStringUsingParameterString(parameters, request),
        "GET&http%3A%2F%2Fphotos.example.net%2Fphotos&file%3Dvacation.jpg%26oauth_consumer_key%3Ddpf43f3p2l4k3l03"
        "%26oauth_nonce%3Dkllo9940pd9333jh%26oauth_signature_method%3DHMAC-SHA1%26oauth_timestamp%3D1191242096"
        "%26oauth_token%3Dnnch734d00sl2jdk%26oauth_version%3D1.0%26size%3Doriginal");
    EXPECT_EQ(signedRequest.method(), "GET");
    EXPECT_EQ(signedRequest.url().absoluteString(),
        "http://photos.example.net/photos?file=vacation.jpg&oauth_consumer_key=dpf43f3p2l4k3l03"
        "&oauth_nonce=kllo9940pd9333jh&oauth_signature_method=HMAC-SHA1&oauth_timestamp=1191242096"
        "&oauth_token=nnch734d00sl2jdk&oauth_version=1.0&size=original&oauth_signature=tR3%2BTy81lMeYAr%2FFid0kMTYa%2FWM%3D");
    EXPECT_EQ(request.urlRequest().url(), signedRequest.url());

    // RFC 5849 section 1.2: no version, the query taken apart from a
    // platform request, the list given as it stands.
    core::URLRequest plain(url("http://photos.example.net/photos?file=vacation.jpg&size=original"));
    auto second = MPOAuthURLRequest::initWithURLRequest(plain);
    EXPECT_EQ(second.url().absoluteString(), "http://photos.example.net/photos");
    second.addParameters({ param("oauth_consumer_key", "dpf43f3p2l4k3l03"), param("oauth_token", "nnch734d00sl2jdk"),
        param("oauth_signature_method", "HMAC-SHA1"), param("oauth_timestamp", "137131202"), param("oauth_nonce", "chapoH") });
    std::string query = second.urlRequestSignedWithSecret(store->signingKey(), "HMAC-SHA1").url().query();
    EXPECT_TRUE(query.ends_with("&size=original&oauth_signature=MdpQcU8iPSUjWoN%2FUDMsK2sui9I%3D")) << query;

    // PLAINTEXT signs with the key itself.
    auto plainText = MPOAuthURLRequest::initWithURL(url("http://photos.example.net/photos"));
    plainText.addParameters({ param("oauth_consumer_key", "dpf43f3p2l4k3l03") });
    EXPECT_TRUE(plainText.urlRequestSignedWithSecret(store->signingKey(), "PLAINTEXT").url().query().ends_with(
        "&oauth_signature=kd94hf93k423kf44%26pfkkdhi9sl3r4s00"));

    // RFC 2202, HMAC-SHA1 test case 1.
    EXPECT_EQ(MPOAuthSignatureParameter::HMAC_SHA1SignatureForText("Hi There", std::string(20, '\x0b')),
        "thcxhlUFcmTii8C2+zeMjvFGvgA=");
}

TEST_F(MPOAuthSigningTest, TheBaseStringSortsEncodedPairsAndEscapesTheEscapedPathAgain)
{
    // RFC 5849 section 3.4.1.1: "c@" sorts before "c2" only once encoded
    // ("c%40"), and the escapes are escaped a second time.
    auto request = MPOAuthURLRequest::initWithURL(url("http://example.com/request"),
        MPURLRequestParameter::List { param("b5", "=%3D"), param("a3", "a"), param("c@", ""), param("a2", "r b") });
    EXPECT_EQ(Parameter::parameterStringForParameters(request.parameters()), "b5=%3D%253D&a3=a&c%40=&a2=r%20b");
    request.setHTTPMethod("POST");
    request.addParameters({ param("c2", ""), param("a3", "2 q"), param("oauth_consumer_key", "9djdj82h48djs9d2"),
        param("oauth_token", "kkk9d7dh3k39sjv7"), param("oauth_signature_method", "HMAC-SHA1"),
        param("oauth_timestamp", "137131201"), param("oauth_nonce", "7d8f3e4a") });
    core::URLRequest signedRequest = request.urlRequestSignedWithSecret("cs&ts", "HMAC-SHA1");
    std::string sorted = Parameter::parameterStringForParameters(request.parameters());
    std::string baseString = MPOAuthSignatureParameter::signatureBaseStringUsingParameterString(sorted, request);
    EXPECT_EQ(baseString,
        "POST&http%3A%2F%2Fexample.com%2Frequest&a2%3Dr%2520b%26a3%3D2%2520q%26a3%3Da%26b5%3D%253D%25253D%26c%2540%3D"
        "%26c2%3D%26oauth_consumer_key%3D9djdj82h48djs9d2%26oauth_nonce%3D7d8f3e4a%26oauth_signature_method%3DHMAC-SHA1"
        "%26oauth_timestamp%3D137131201%26oauth_token%3Dkkk9d7dh3k39sjv7");

    // A POST carries the sorted parameters and the signature, last, as its
    // form body; the URL keeps no query.
    EXPECT_EQ(signedRequest.url().absoluteString(), "http://example.com/request");
    std::string body = signedRequest.body().toString();
    std::string signature = MPOAuthSignatureParameter::HMAC_SHA1SignatureForText(baseString, "cs&ts");
    EXPECT_EQ(body, sorted + "&oauth_signature=" + stringByAddingURIPercentEscapesUsingEncoding(signature));
    EXPECT_EQ(signedRequest.header("Content-Length"), std::to_string(body.size()));
    EXPECT_EQ(signedRequest.header("Content-Type"), "application/x-www-form-urlencoded");

    // Pairs of one name sort by value, the signature still last.
    auto same = MPOAuthURLRequest::initWithURL(url("http://h.test"), MPURLRequestParameter::List { param("a", "z"), param("a", "b"), param("A", "q") });
    std::string sameQuery = same.urlRequestSignedWithSecret("k&", "HMAC-SHA1").url().query();
    EXPECT_TRUE(sameQuery.starts_with("A=q&a=b&a=z&oauth_signature=")) << sameQuery;
    EXPECT_EQ(std::count(sameQuery.begin(), sameQuery.end(), '&'), 3) << sameQuery;
    // A URL without path enters the base string with "/".
    EXPECT_TRUE(MPOAuthSignatureParameter::signatureBaseStringUsingParameterString("a=b", same).starts_with("GET&http%3A%2F%2Fh.test%2F&"));
}

TEST_F(MPOAuthSigningTest, OtherMethodsAreRefusedBeforeAnythingIsBuilt)
{
    auto request = MPOAuthURLRequest::initWithURL(url("http://h.test/a"), MPURLRequestParameter::List { param("a", "1") });
    request.setHTTPMethod("PUT");
    try {
        request.urlRequestSignedWithSecret("k&", "HMAC-SHA1");
        FAIL() << "PUT was signed";
    } catch (const core::Exception& exception) {
        EXPECT_EQ(exception.name(), "UnhandledHTTPMethodException");
        EXPECT_EQ(exception.reason(), "The requested HTTP method, PUT, is not supported");
    }
    request.setHTTPMethod("GET");
    try {
        request.urlRequestSignedWithSecret("k&", "RSA-SHA1");
        FAIL() << "RSA-SHA1 was accepted";
    } catch (const core::Exception& exception) {
        EXPECT_EQ(exception.name(), "Unsupported Signature Method");
        EXPECT_EQ(exception.reason(), "The signature method \"RSA-SHA1\" is not currently support by MPOAuthConnection");
    }
    EXPECT_TRUE(request.urlRequest().url().relativeString().empty());
}

TEST_F(MPOAuthSigningTest, ProtocolParametersFollowTheTokensHeld)
{
    auto store = photosStore();
    store->setRequestToken("request");
    store->setRequestTokenSecret("request secret");

    // The access token wins over the request token, for the token and the key.
    auto parameters = store->oauthParameters();
    ASSERT_EQ(parameters.size(), 6u);
    std::vector<std::string> names;
    for (const auto& parameter : parameters)
        names.push_back(parameter.name());
    EXPECT_EQ(names, (std::vector<std::string> { "oauth_consumer_key", "oauth_token", "oauth_signature_method",
                         "oauth_timestamp", "oauth_nonce", "oauth_version" }));
    EXPECT_EQ(parameters[1].value(), "nnch734d00sl2jdk");
    EXPECT_EQ(parameters[2].value(), "HMAC-SHA1");
    EXPECT_EQ(parameters[5].value(), "1.0");
    EXPECT_EQ(store->tokenSecret(), "pfkkdhi9sl3r4s00");

    // The manual clock's start, in whole seconds; a fresh nonce each time.
    EXPECT_EQ(parameters[3].value(), "1306929600");
    core::RunLoop::main().advance(0.75);
    EXPECT_EQ(store->timestamp(), "1306929600");
    ASSERT_TRUE(parameters[4].value());
    EXPECT_EQ(parameters[4].value()->size(), 36u);
    EXPECT_NE(store->oauthNonceParameter().value(), parameters[4].value());

    // Only a request token: it and its secret.
    store->setAccessToken(std::nullopt);
    EXPECT_EQ(store->oauthTokenParameter()->value(), "request");
    EXPECT_EQ(store->signingKey(), "kd94hf93k423kf44&request%20secret");

    // No token: five parameters and a key ending in "&".
    store->discardOAuthCredentials();
    EXPECT_EQ(store->oauthParameters().size(), 5u);
    EXPECT_EQ(store->signingKey(), "kd94hf93k423kf44&");
    EXPECT_EQ(store->tokenSecret(), "");

    // A version parameter kept in the store is the one sent.
    auto withVersion = MPOAuthCredentialConcreteStore::initWithCredentials({
        { kMPOAuthCredentialConsumerKey, "k" }, { kMPOAuthCredentialConsumerSecret, "a b~/" },
        { MPOAuthCredentialConcreteStore::VersionParameterKey, "1.0a" } });
    EXPECT_EQ(withVersion->oauthVersionParameter(), param("oauth_version", "1.0a"));
    EXPECT_EQ(withVersion->signingKey(), "a%20b~%2F&");
}

TEST_F(MPOAuthSigningTest, ParametersEscapeCompareAndParse)
{
    EXPECT_EQ(param("a b~/", "x+y=z&é").URLEncodedParameterString(), "a%20b~%2F=x%2By%3Dz%26%C3%A9");
    EXPECT_EQ(param("n", std::nullopt).URLEncodedParameterString(), "n=");
    EXPECT_EQ(stringByAddingURIPercentEscapesUsingEncoding(url("http://h.test/a%20b~")), "http%3A%2F%2Fh.test%2Fa%2520b~");

    EXPECT_TRUE(param("a", "z").compare(param("b", "a")) < 0);
    EXPECT_TRUE(param("a", "b").compare(param("a", "a")) > 0);
    EXPECT_TRUE(param("B", "x").compare(param("a", "x")) < 0);
    EXPECT_TRUE(param("a", "x").compare(param("a", "x")) == 0);

    EXPECT_EQ(param("a", "b").description(), "<MPURLRequestParameter: a=b>");

    // Values are decoded, names are not; a bad or non-UTF-8 escape stays.
    auto parsed = Parameter::parametersFromString("x%41=1%202&b=%E9&b=%zz&&c&d=e=f");
    ASSERT_EQ(parsed.size(), 5u);
    EXPECT_EQ(parsed[0].name(), "x%41");
    EXPECT_EQ(parsed[0].value(), "1 2");
    EXPECT_EQ(parsed[1].value(), "%E9");
    EXPECT_EQ(parsed[2].value(), "%zz");
    EXPECT_EQ(parsed[3].name(), "c");
    EXPECT_EQ(parsed[3].value(), "");
    EXPECT_EQ(parsed[4].value(), "e=f");
    auto dictionary = Parameter::parameterDictionaryFromString("a=1&b=2&a=3");
    EXPECT_EQ(dictionary.size(), 2u);
    EXPECT_EQ(dictionary["a"], core::Value("3"));
    EXPECT_TRUE(Parameter::parameterDictionaryFromString(std::nullopt).empty());
    EXPECT_EQ(Parameter::parameterStringForParameters({}), "");
    EXPECT_EQ(Parameter::parameterStringForDictionary({ { "b", 2 }, { "a", "x y" } }), "a=x%20y&b=2");
}

TEST_F(MPOAuthSigningTest, URLHelpers)
{
    EXPECT_EQ(absoluteNormalizedString(url("http://h.test")), "http://h.test/");
    EXPECT_EQ(absoluteNormalizedString(url("http://h.test?x=1")), "http://h.test?x=1");
    EXPECT_EQ(absoluteNormalizedString(url("http://h.test/p")), "http://h.test/p");
    EXPECT_EQ(urlByRemovingQuery(url("http://h.test/p?x=1?y")).absoluteString(), "http://h.test/p");
    EXPECT_EQ(urlByRemovingQuery(url("http://h.test/p")).absoluteString(), "http://h.test/p");

    // A URL's own query joins the parameters, so that a signed GET has one "?".
    auto request = MPOAuthURLRequest::initWithURL(url("http://h.test/p?x=1&y=%20"), MPURLRequestParameter::List { param("z", "2") });
    EXPECT_EQ(request.url().absoluteString(), "http://h.test/p");
    EXPECT_EQ(Parameter::parameterStringForParameters(request.parameters()), "x=1&y=%20&z=2");
    EXPECT_EQ(request.urlRequestSignedWithSecret("k&", "PLAINTEXT").url().absoluteString(),
        "http://h.test/p?x=1&y=%20&z=2&oauth_signature=k%26");

    // The query's pairs first, unsorted.
    EXPECT_EQ(urlByAddingParameters(url("http://h.test/p?z=1&a=2"), { param("m", "a b") }).absoluteString(),
        "http://h.test/p?z=1&a=2&m=a%20b");
    EXPECT_EQ(urlByAddingParameters(url("http://h.test/p"), { param("m", "1") }).absoluteString(), "http://h.test/p?m=1");

    EXPECT_EQ(urlByAddingParameterDictionary(url("http://h.test/p"), {}).absoluteString(), "http://h.test/p");
    EXPECT_EQ(urlByAddingParameterDictionary(url("http://h.test/p"), { { "b", "1" }, { "a", "2" } }).absoluteString(),
        "http://h.test/p?a=2&b=1");
    // The query's values replace the given ones.
    EXPECT_EQ(urlByAddingParameterDictionary(url("http://h.test/p?a=q"), { { "a", "given" }, { "c", "3" } }).absoluteString(),
        "http://h.test/p?a=q&c=3");
}

TEST_F(MPOAuthSigningTest, Base64IntoTheCallersBuffer)
{
    // RFC 4648 section 10.
    const std::vector<std::pair<std::string, std::string>> vectors { { "", "" }, { "f", "Zg==" }, { "fo", "Zm8=" },
        { "foo", "Zm9v" }, { "foob", "Zm9vYg==" }, { "fooba", "Zm9vYmE=" }, { "foobar", "Zm9vYmFy" } };
    for (const auto& [input, expected] : vectors)
        EXPECT_EQ(base64(input), expected) << input;

    // A full line of 72 ends with CR LF; 20 bytes never reach one.
    std::string line = base64(std::string(54, 'x'));
    EXPECT_EQ(line.size(), 74u);
    EXPECT_TRUE(line.ends_with("\r\n"));
    EXPECT_EQ(base64(std::string(20, '\xff')).size(), 28u);
    std::string twoLines = base64(std::string(108, 'y'));
    EXPECT_EQ(twoLines.size(), 148u);
    EXPECT_EQ(twoLines.find("\r\n"), 72u);
    EXPECT_EQ(base64(std::string(100, 'z')).size(), 74u + 64u);

    // One byte short: false, the buffer untouched, the length kept.
    std::string buffer(73, '#');
    size_t length = 73;
    EXPECT_FALSE(Base64EncodeData(std::string(54, 'x').data(), 54, buffer.data(), &length));
    EXPECT_EQ(length, 73u);
    EXPECT_EQ(buffer, std::string(73, '#'));
}

} // namespace
