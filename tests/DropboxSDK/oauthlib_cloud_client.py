#!/usr/bin/python3
"""A second OAuth client for the fake cloud service: python3-oauthlib signs
a GET and a form POST with the given consumer and token; each is sent as
signed, then signed anew with one signature byte changed. Prints the four
statuses in that order.

  oauthlib_cloud_client.py BASE_URL KEY SECRET TOKEN TOKEN_SECRET
"""

import sys
import urllib.error
import urllib.parse
import urllib.request

from oauthlib import oauth1


def status(uri, body=None, headers=None):
    request = urllib.request.Request(uri, data=body.encode() if body else None, headers=headers or {})
    try:
        with urllib.request.urlopen(request) as answer:
            return answer.status
    except urllib.error.HTTPError as error:
        return error.code


def tampered(uri):
    at = uri.index("oauth_signature=") + len("oauth_signature=")
    return uri[:at] + ("A" if uri[at] != "A" else "B") + uri[at + 1:]


def main():
    base, key, secret, token, token_secret = sys.argv[1:6]
    client = oauth1.Client(key, client_secret=secret, resource_owner_key=token,
                           resource_owner_secret=token_secret, signature_type=oauth1.SIGNATURE_TYPE_QUERY)
    statuses = []
    for change in (False, True):
        uri, _, _ = client.sign(base + "/0/metadata/dropbox/Photos")
        statuses.append(status(tampered(uri) if change else uri))
    form = {"Content-Type": "application/x-www-form-urlencoded"}
    for change, name in ((False, "/From oauthlib"), (True, "/Tampered")):
        body = "root=dropbox&path=" + urllib.parse.quote(name, safe="")
        uri, headers, body = client.sign(base + "/0/fileops/create_folder", http_method="POST", body=body, headers=form)
        statuses.append(status(tampered(uri) if change else uri, body, headers))
    print(" ".join(str(s) for s in statuses))


if __name__ == "__main__":
    main()
