#!/usr/bin/env python3
"""Signs each request of a JSON list with python3-oauthlib and, as a second
opinion on the HMAC, with the standard library: one line per request, the
base string and both signatures, tab-separated."""

import base64
import hashlib
import hmac
import json
import sys

from oauthlib.oauth1.rfc5849 import signature

for case in json.load(sys.stdin):
    params = [(name, value) for name, value in case["params"]]
    base = signature.signature_base_string(case["method"], signature.base_string_uri(case["url"]),
                                           signature.normalize_parameters(params))
    by_oauthlib = signature.sign_hmac_sha1(base, case["consumer_secret"], case["token_secret"])
    key = (signature.utils.escape(case["consumer_secret"]) + "&" + signature.utils.escape(case["token_secret"]))
    by_hashlib = base64.b64encode(hmac.new(key.encode(), base.encode(), hashlib.sha1).digest()).decode()
    print(base + "\t" + by_oauthlib + "\t" + by_hashlib)
