#pragma once

// A REST client that hands out what it signs, so that the curl program can
// send the very request the client would (the cloud benchmarks' peer).

#include "DropboxSDK/DBRestClient.h"
#include "DropboxSDK/DBSession.h"

#include <memory>

class SigningClient : public DBRestClient {
public:
    static std::shared_ptr<SigningClient> create(std::shared_ptr<DBSession> session)
    {
        return std::shared_ptr<SigningClient>(new SigningClient(std::move(session)));
    }
    using DBRestClient::requestWithProtocol;
    using DBRestClient::uploadRequest;

private:
    explicit SigningClient(std::shared_ptr<DBSession> session)
        : DBRestClient(std::move(session), "dropbox")
    {
    }
};
