#include "transfers/AccountForm.h"
#include "transfers/PasswordEvaluator.h"
#include "transfers/RcloneAuth.h"
#include "transfers/RcloneConfigWriter.h"
#include "transfers/RemoteCaps.h"
#include "transfers/RemoteMetadata.h"
#include "transfers/S3Provider.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

using namespace quindle;

namespace {

QList<Remote> remotesOfType(const QString &type, int count) {
    QList<Remote> remotes;
    for (int i = 0; i < count; ++i)
        remotes.append({type + QString::number(i), type});
    return remotes;
}

QStringList optionKeys(const AccountRequest &request) {
    QStringList keys;
    for (const RcloneOption &option : request.rcloneOptions)
        keys << option.first + u'=' + option.second;
    return keys;
}

} // namespace

TEST(PasswordEvaluator, ScoresLengthClassesAndPenalties) {
    const struct {
        const char *password;
        int score;
    } cases[] = {
        {"", 0},
        {"PassWord1", 0},                  // a common password, compared in lower case
        {"Ab1!xyz", 2},                    // under 8: the four classes alone
        {"Kx7#mPq2Lw", 3},                 // 10: 1 + four classes
        {"QWerty2024ab", 1},               // 12: 2 + 1.5 − keyboard run − year = 1.5
        {"aaaBcdefghij", 2},               // 12: 2 + 1 − a character three times
        {"correct horse battery", 4},      // 21: 3 + lower case and the spaces
        {"abcdefghijklmnopqrstuvwxyz", 3}, // 26: 3 + 0.5
    };
    for (const auto &[password, expected] : cases)
        EXPECT_EQ(PasswordEvaluator::score(QString::fromUtf8(password)), expected) << password;
    EXPECT_FALSE(PasswordEvaluator::accepted("QWerty2024ab"));
    EXPECT_TRUE(PasswordEvaluator::accepted("aaaBcdefghij"));
    EXPECT_EQ(PasswordEvaluator::label(1), "Weak");
    EXPECT_TRUE(PasswordEvaluator::hint(4).isEmpty());
}

TEST(RemoteCaps, LimitsPerTypeAndTheirTexts) {
    EXPECT_TRUE(RemoteCaps::limitReached(remotesOfType("drive", 5), "drive"));
    EXPECT_FALSE(RemoteCaps::limitReached(remotesOfType("drive", 4), "drive"));
    EXPECT_TRUE(RemoteCaps::limitReached(remotesOfType("googlephotos", 3), "googlephotos"));
    EXPECT_FALSE(RemoteCaps::limitReached(remotesOfType("webdav", 50), "webdav"));
    EXPECT_EQ(RemoteCaps::usageBadge(remotesOfType("sftp", 2), "sftp"), "2/10");
    EXPECT_EQ(RemoteCaps::limitReachedText("drive"),
              "Account limit reached for Google Drive. Remove one to add another.");

    AccountForm sixth = AccountForm::forType("sftp");
    sixth.nickname = "eleventh";
    EXPECT_EQ(sixth.problem(remotesOfType("sftp", 10)), RemoteCaps::limitReachedText("sftp"));
}

TEST(RemoteType, DisplayNames) {
    EXPECT_EQ(remoteTypeDisplayName("googlephotos"), "Google Photos");
    EXPECT_EQ(remoteTypeDisplayName("s3"), "Amazon S3");
    EXPECT_EQ(remoteTypeDisplayName("webdav"), "Webdav");
}

TEST(AccountForm, NicknamesFollowRcloneRulesAndMustBeNew) {
    const QList<Remote> existing{{"home nas", "sftp"}};
    for (const char *good : {"photos", "my.backup_2-b", "Work Drive", "  padded  ", ".dot"})
        EXPECT_EQ(nicknameProblem(QString::fromUtf8(good), existing), std::nullopt) << good;
    const QString ruleText =
        "Use letters, digits, spaces, dots, dashes and underscores in the nickname.";
    for (const char *bad : {"-dash", "colon:", "slash/", "ünï", "semi;"})
        EXPECT_EQ(nicknameProblem(QString::fromUtf8(bad), existing), ruleText) << bad;
    EXPECT_EQ(nicknameProblem(" home nas ", existing),
              "An account named home nas already exists. Choose another nickname.");
    EXPECT_TRUE(nicknameProblem("   ", existing).has_value());
}

TEST(AccountForm, ServerFormsCheckHostPortAndSecrets) {
    AccountForm form = AccountForm::forType("sftp");
    form.nickname = "nas";
    form.host = "nas.local";
    form.user = "me";
    form.password = "Kx7#mPq2Lw";
    EXPECT_EQ(form.problem({}), std::nullopt);
    EXPECT_EQ(optionKeys(form.request()),
              (QStringList{"host=nas.local", "port=22", "user=me", "pass=Kx7#mPq2Lw"}));

    for (const char *port : {"0", "65536", "22a", "-1"}) {
        AccountForm badPort = form;
        badPort.port = QString::fromUtf8(port);
        EXPECT_EQ(badPort.problem({}), "Use a port from 1 to 65535.") << port;
    }
    AccountForm highPort = form;
    highPort.port = " 65535 ";
    EXPECT_EQ(highPort.problem({}), std::nullopt);

    AccountForm keyed = form;
    keyed.authMethod = SftpAuthMethod::PrivateKey;
    keyed.password.clear();
    EXPECT_EQ(keyed.problem({}), "Choose a private key file.");
    keyed.keyFile = "/home/me/.ssh/id_ed25519";
    keyed.keyPassphrase = " a phrase ";
    EXPECT_EQ(keyed.problem({}), std::nullopt);
    EXPECT_EQ(optionKeys(keyed.request()),
              (QStringList{"host=nas.local", "port=22", "user=me",
                           "key_file=/home/me/.ssh/id_ed25519", "key_file_pass=a phrase"}));

    AccountForm ftp = form;
    ftp.type = "ftp";
    EXPECT_TRUE(ftp.problem({}).has_value()); // no consent yet
    ftp.acceptPlaintext = true;
    EXPECT_EQ(ftp.problem({}), std::nullopt);
    EXPECT_EQ(ftp.request().rcloneOptions.at(1).second, "21");
    EXPECT_EQ(ftp.request().acknowledgedWarnings, QStringList{"ftp-plaintext"});
    EXPECT_TRUE(form.request().acknowledgedWarnings.isEmpty());
}

TEST(AccountForm, S3ProvidersSetRegionPathStyleAndEndpointNeeds) {
    const QList<S3Provider> &providers = S3Provider::all();
    ASSERT_EQ(providers.size(), 7);
    for (const S3Provider &provider : providers) {
        EXPECT_EQ(provider.pathStyleByDefault(),
                  provider.provider != "AWS" && provider.provider != "Cloudflare");
        EXPECT_TRUE(provider.endpointPlaceholder.contains("<") || provider.provider == "Minio" ||
                    provider.displayName.startsWith("Other"))
            << provider.displayName.toStdString();
    }
    EXPECT_TRUE(providers.at(5).endpointPlaceholder.endsWith(":9000"));

    AccountForm form = AccountForm::forType("s3");
    form.nickname = "bucket";
    form.accessKeyId = " AKIA ";
    form.secretAccessKey = "Kx7#mPq2Lw";
    EXPECT_EQ(form.problem({}), std::nullopt); // AWS needs no endpoint
    EXPECT_EQ(optionKeys(form.request()),
              (QStringList{"provider=AWS", "access_key_id=AKIA", "secret_access_key=Kx7#mPq2Lw",
                           "region=us-east-1"}));

    form.chooseProvider(3); // Wasabi
    EXPECT_EQ(form.region, "us-east-1");
    EXPECT_TRUE(form.pathStyle);
    EXPECT_EQ(form.problem({}), "Enter the endpoint of Wasabi.");
    form.endpoint = "https://s3.eu-central-1.wasabisys.com";
    form.chooseProvider(2); // Backblaze B2: no region of its own
    EXPECT_EQ(
        optionKeys(form.request()),
        (QStringList{"provider=Other", "access_key_id=AKIA", "secret_access_key=Kx7#mPq2Lw",
                     "endpoint=https://s3.eu-central-1.wasabisys.com", "force_path_style=true"}));
    form.secretAccessKey = "short";
    EXPECT_EQ(form.problem({}), PasswordEvaluator::hint(0));
}

TEST(RcloneConfigWriter, CreateArgumentsKeepOrderAndPairs) {
    EXPECT_EQ(
        RcloneConfigWriter::createArguments("my nas", "sftp", {{"host", "a b"}, {"pass", "--x"}}),
        (QStringList{"config", "create", "my nas", "sftp", "host", "a b", "pass", "--x",
                     "--non-interactive", "--obscure"}));
}

TEST(RcloneAuth, FindsTheSignInAddressAndAsksGoogleForTheAccountChooser) {
    EXPECT_EQ(RcloneAuth::signInAddress(
                  "NOTICE: Make sure your Redirect URL is set to \"http://127.0.0.1:53682/\" in "
                  "your custom config.\nNOTICE: go to the following link: "
                  "http://127.0.0.1:53682/auth?state=ab-c\n"),
              QUrl("http://127.0.0.1:53682/auth?state=ab-c"));
    EXPECT_EQ(RcloneAuth::signInAddress("see https://rclone.org/drive/ for help"), std::nullopt);
    const QUrl google("https://accounts.google.com/o/oauth2/auth?client_id=x");
    EXPECT_EQ(RcloneAuth::withAccountChooser(google).toString(),
              google.toString() + "&prompt=select_account");
    const QUrl prompted("https://accounts.google.com/o/oauth2/auth?prompt=consent");
    EXPECT_EQ(RcloneAuth::withAccountChooser(prompted), prompted);
    const QUrl local("http://127.0.0.1:53682/auth?state=x");
    EXPECT_EQ(RcloneAuth::withAccountChooser(local), local);
    EXPECT_EQ(
        RcloneAuth::arguments("g", "drive", " id ", QString()),
        (QStringList{"config", "create", "g", "drive", "config_is_local=true", "client_id=id"}));
}

TEST(RemoteDecoders, RejectWhatTheHelperDidNotMean) {
    EXPECT_EQ(decodeRemotes("[]"), QList<Remote>{});
    EXPECT_EQ(decodeRemotes(R"([{"name":"a b","type":"drive"}])"),
              (QList<Remote>{{"a b", "drive"}}));
    EXPECT_EQ(decodeRemotes("["), std::nullopt);
    EXPECT_EQ(decodeRemotes(R"([{"name":"a"}])"), std::nullopt);
    EXPECT_EQ(decodeRemoteTypes(R"([{"id":"s3","name":"S3","icon":"b","oauth":"no"}])"),
              std::nullopt);
    EXPECT_EQ(decodeRemoteTest(R"({"ok":true})"), std::nullopt);
}

TEST(RemoteMetadata, RoundTripsAndSkipsBrokenRecords) {
    RemoteMetadata::Records records;
    records.insert("nas", {"nas",
                           "me@nas",
                           QDateTime(QDate(2026, 3, 1), QTime(8, 0), Qt::UTC),
                           std::nullopt,
                           {"ftp-plaintext"}});
    EXPECT_EQ(RemoteMetadata::decode(RemoteMetadata::encode(records)), records);
    const auto partial = RemoteMetadata::decode(
        R"({"version":1,"records":{"bad":{"createdAt":"yesterday"},
            "ok":{"remoteName":"ok","createdAt":"2026-01-01T00:00:00Z"}}})");
    ASSERT_TRUE(partial.has_value());
    EXPECT_EQ(partial->keys(), QStringList{"ok"});
    EXPECT_EQ(RemoteMetadata::decode("not json"), std::nullopt);
}
