#include "updates/ProductHeaders.h"

#include "core/BuildSettings.h"
#include "platform/MachineFingerprint.h"

namespace quindle {

namespace {

// Quindle's application ID for deriving the fingerprint. Changing it changes every computer's
// fingerprint.
const QByteArray &fingerprintAppId() {
    static const QByteArray id = QByteArray::fromHex("299de0867fb24033bc10390175761b7e");
    return id;
}

} // namespace

HttpHeaders productHeaders(Fingerprint fingerprint) {
    const QByteArray version = build::version().toUtf8();
    HttpHeaders headers{{"User-Agent", "Quindle/" + version + " (Linux)"},
                        {"X-QD-Version", version}};
    if (fingerprint == Fingerprint::Include) {
        if (const std::optional<QByteArray> id = platform::appSpecificMachineId(fingerprintAppId()))
            headers.append({"X-QD-Fingerprint", *id});
    }
    return headers;
}

} // namespace quindle
