#include "transfers/S3Provider.h"

namespace quindle {

bool S3Provider::pathStyleByDefault() const {
    return provider != QLatin1String("AWS") && provider != QLatin1String("Cloudflare");
}

const QList<S3Provider> &S3Provider::all() {
    static const QList<S3Provider> providers{
        {QStringLiteral("AWS"), QStringLiteral("Amazon Web Services"), QStringLiteral("us-east-1"),
         QStringLiteral("https://s3.<region>.amazonaws.com"), false},
        {QStringLiteral("Cloudflare"), QStringLiteral("Cloudflare R2"), QStringLiteral("auto"),
         QStringLiteral("https://<account-id>.r2.cloudflarestorage.com"), true},
        {QStringLiteral("Other"), QStringLiteral("Backblaze B2"), QString(),
         QStringLiteral("https://s3.<region>.backblazeb2.com"), true},
        {QStringLiteral("Wasabi"), QStringLiteral("Wasabi"), QStringLiteral("us-east-1"),
         QStringLiteral("https://s3.<region>.wasabisys.com"), true},
        {QStringLiteral("DigitalOcean"), QStringLiteral("DigitalOcean Spaces"),
         QStringLiteral("nyc3"), QStringLiteral("https://<region>.digitaloceanspaces.com"), true},
        {QStringLiteral("Minio"), QStringLiteral("MinIO (self-hosted)"),
         QStringLiteral("us-east-1"), QStringLiteral("http://192.168.1.10:9000"), true},
        {QStringLiteral("Other"), QStringLiteral("Other (custom endpoint)"), QString(),
         QStringLiteral("https://s3.example.com"), true}};
    return providers;
}

} // namespace quindle
