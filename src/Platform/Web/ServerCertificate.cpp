#include "Platform/Web/ServerCertificate.h"

namespace web {

core::Value ServerCertificate::toValue() const
{
    core::Value::Array words;
    for (const auto& problem : problems)
        words.emplace_back(problem);
    return core::Value(core::Value::Dictionary { { "host", core::Value(host) }, { "subject", core::Value(subject) },
        { "issuer", core::Value(issuer) }, { "validFrom", core::Value(validFrom) },
        { "validUntil", core::Value(validUntil) }, { "sha256", core::Value(sha256) },
        { "problems", core::Value(std::move(words)) } });
}

std::optional<ServerCertificate> ServerCertificate::fromError(const core::Error& error)
{
    auto found = error.userInfo().find(Key);
    if (found == error.userInfo().end() || !found->second.isDictionary())
        return std::nullopt;
    const core::Value& value = found->second;
    auto text = [&](const char* key) { return value[key].isString() ? value[key].string() : std::string(); };
    ServerCertificate certificate;
    certificate.host = text("host");
    if (certificate.host.empty())
        return std::nullopt;
    certificate.subject = text("subject");
    certificate.issuer = text("issuer");
    certificate.validFrom = text("validFrom");
    certificate.validUntil = text("validUntil");
    certificate.sha256 = text("sha256");
    if (value["problems"].isArray())
        for (const auto& word : value["problems"].array())
            if (word.isString())
                certificate.problems.push_back(word.string());
    return certificate;
}

} // namespace web
