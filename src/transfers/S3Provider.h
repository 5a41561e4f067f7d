#pragma once

#include <QList>
#include <QString>

namespace quindle {

// One S3-compatible service the account form offers.
struct S3Provider {
    QString provider;    // rclone's `provider` value
    QString displayName; // "Cloudflare R2"
    QString defaultRegion;
    QString endpointPlaceholder; // the service's documented endpoint pattern
    bool needsEndpoint = true;

    // Path-style addressing suits every service but the two that want virtual hosts.
    bool pathStyleByDefault() const;

    // In the order the form lists them; AWS first.
    static const QList<S3Provider> &all();
};

} // namespace quindle
