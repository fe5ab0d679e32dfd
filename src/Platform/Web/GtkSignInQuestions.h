#pragma once

// A GTK page's sign-in questions: each question WebKit's network asks goes
// to the view as an `AuthenticationChallenge` and is held by reference until
// the view answers, the load ends or the page goes (cancelled then).
// Failures are counted per protection space and load. The network may ask
// before the web process has announced the load (two channels with no order
// between them): such a question is held until that start, or 0.3 s. Owned
// by the page; WebKit's types are only declared here.

#include "Platform/Web/GtkTimeout.h"
#include "Platform/Web/GtkWebPageSupport.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

typedef struct _WebKitAuthenticationRequest WebKitAuthenticationRequest;

namespace web {

class AuthenticationChallenge;

class GtkSignInQuestions : public std::enable_shared_from_this<GtkSignInQuestions> {
public:
    // `stopRequested` is the page's word that the app stopped its load: a
    // question the app cancels sets it.
    GtkSignInQuestions(DeliverReport deliver, bool& stopRequested);
    ~GtkSignInQuestions();

    // WebKit's question; `pageURI` is the page's address (for a question
    // without an origin), `started` whether the load's start was heard.
    void ask(WebKitAuthenticationRequest* request, const char* pageURI, bool started);
    // The load's start was heard (or the wait for it ended): the held
    // questions are asked.
    void deliverHeld();
    // A new load, or the same tried again: failures count from none.
    void forgetFailures() { m_failures.clear(); }
    // The load stops: the open questions end now, told to the view rather
    // than whenever the engine gets to them.
    void cancelOpen();
    // Everything is dropped without a word to the view (the page goes).
    void dropAll();
    // Whether the engine (not the app) cancelled a question asked before
    // its load's start, since the last load ended: WebKit's sign-in race.
    bool earlyQuestionCancelled() const { return m_earlyCancelled; }
    void loadEnded() { m_earlyCancelled = false; }

private:
    struct Pending {
        uint64_t id = 0;
        WebKitAuthenticationRequest* request = nullptr;
        std::weak_ptr<AuthenticationChallenge> challenge;
        unsigned long cancelledHandler = 0;
        // Asked before the load's start was heard: held back (and kept
        // alive here) until then.
        bool early = false;
        bool delivered = false;
        std::shared_ptr<AuthenticationChallenge> held;
    };

    static void cancelled(WebKitAuthenticationRequest* request, void* data);
    void answer(uint64_t id, int disposition, const std::string& user, const std::string& password, int persistence);
    void forget(WebKitAuthenticationRequest* request);

    DeliverReport m_deliver;
    bool& m_stopRequested;
    uint64_t m_nextID = 1;
    std::vector<Pending> m_pending;
    std::map<std::string, int> m_failures;
    GtkTimeout m_heldTimer;
    bool m_earlyCancelled = false;
};

} // namespace web
