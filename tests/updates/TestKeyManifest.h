#pragma once

#include "support/SignedManifest.h"

namespace quindle::test {

// A manifest signed with the test build's key, made once: signing is slow.
inline const SignedManifest &signedManifest() {
    static const SignedManifest manifest = SignedManifest::make(QUINDLE_TEST_SIGNING_KEY);
    return manifest;
}

} // namespace quindle::test
