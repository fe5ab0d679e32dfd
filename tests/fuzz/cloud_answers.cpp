// fuzz: tandry_dropbox_sdk
// Answers of the cloud service: a metadata listing read entry by entry must
// give what the whole tree of values gives (and nothing when that does not
// read); a token answer's parameters parse into their string form.

#include "DropboxSDK/DBMetadata.h"
#include "DropboxSDK/MPOAuth/MPURLRequestParameter.h"
#include "Kit/JSON/KWJsonParser.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

core::Value archived(const std::shared_ptr<const DBMetadata>& metadata)
{
    core::Value::Dictionary archive;
    metadata->encodeWithCoder(archive);
    return core::Value(std::move(archive));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string_view text(reinterpret_cast<const char*>(data), size);
    auto pieces = DBMetadata::initWithJSONString(text);
    auto whole = KWJsonParser().objectWithString(text);
    if (pieces) {
        // Read in pieces only what reads whole, to the same records.
        if (!whole || !whole->isDictionary() || !(archived(pieces) == archived(DBMetadata::initWithDictionary(*whole))))
            std::abort();
    } else if (whole && whole->isDictionary() && text.find('\0') == std::string_view::npos) {
        std::abort();
    }

    auto parameters = MPURLRequestParameter::parametersFromString(text);
    auto dictionary = MPURLRequestParameter::parameterDictionaryFromString(text);
    if (dictionary.size() > parameters.size())
        std::abort();
    (void)MPURLRequestParameter::parameterStringForParameters(parameters);
    return 0;
}
