#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

// What the build was configured with. The definitions are generated into a small library of
// their own that only executables link, so that a test copy of the program can carry a test key.
namespace quindle::build {

QString version();

// Full addresses; a same-named environment variable (QUINDLE_MANIFEST_URL …) replaces the built
// one, even when empty. Empty: none configured.
QUrl manifestUrl();
QUrl manifestFallbackUrl();
QUrl supportUrl();
// The product web service's base address, for telemetry and feedback.
QUrl serviceUrl();

// The manifest's HMAC key; empty when this build accepts unsigned manifests. Never printed.
QByteArray manifestSigningKey();

} // namespace quindle::build
