// The manifest commands as a person runs them: the program built with the test key, against a
// loopback server.
#include "support/CommandRun.h"
#include "support/ManifestServer.h"
#include "support/TempHome.h"
#include "support/WaitUntil.h"

#include "core/BuildSettings.h"

#include <QProcessEnvironment>

#include <gtest/gtest.h>

using namespace quindle;

using test::CommandRun;

class ManifestCommand : public test::TempHomeTest {
protected:
    // Runs while this process serves the manifest, so the event loop keeps turning.
    CommandRun run(const QStringList &arguments, const QUrl &address) const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", home());
        env.insert("QUINDLE_MANIFEST_URL", address.toString());
        return test::runCommand(QStringLiteral(QUINDLE_TESTKEY_BINARY), arguments, env);
    }

    test::SignedManifest manifest = test::SignedManifest::make(QUINDLE_TEST_SIGNING_KEY);
    test::ManifestServer server{manifest};
};

TEST_F(ManifestCommand, CheckPrintsTheVersionOrTheErrorAlone) {
    const CommandRun good = run({"manifest", "check"}, server.address());
    EXPECT_EQ(good.status, 0) << good.err.toStdString();
    EXPECT_EQ(good.out, "manifest version: 1.10.0\nupdate available: yes\n");

    server.answerWith(test::ManifestServer::Answer::Tampered);
    const CommandRun tampered = run({"manifest", "check"}, server.address());
    EXPECT_EQ(tampered.status, 1);
    EXPECT_EQ(tampered.out, "");
    EXPECT_EQ(tampered.err, "Manifest signature mismatch — refusing payload\n");
}

TEST_F(ManifestCommand, SignProducesWhatOpensslSignedAndCheckAccepts) {
    test::writeText(inHome("key"), QByteArray(QUINDLE_TEST_SIGNING_KEY) + '\n');
    test::writeText(inHome("manifest.json"), manifest.unsigned_);
    const CommandRun signing =
        run({"manifest", "sign", "--key-file", inHome("key"), inHome("manifest.json")},
            server.address());
    ASSERT_EQ(signing.status, 0) << signing.err.toStdString();
    EXPECT_TRUE(signing.out.contains("\"signature\": \"" + manifest.signature + "\""))
        << signing.out.toStdString();

    test::SignedManifest signedByCommand = manifest;
    signedByCommand.good = signing.out.toUtf8();
    test::ManifestServer signedServer(signedByCommand);
    const CommandRun check = run({"manifest", "check"}, signedServer.address());
    EXPECT_EQ(check.status, 0) << check.err.toStdString();
}

TEST_F(ManifestCommand, VersionAndDoctorTellTheBuildWithoutTheKey) {
    const CommandRun version = run({"--version"}, server.address());
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "Quindle " + build::version() + "\n");

    const CommandRun doctor = run({"doctor"}, server.address());
    EXPECT_EQ(doctor.status, 0);
    EXPECT_TRUE(doctor.out.contains("Manifest address:   " + server.address().toString() + "\n"))
        << doctor.out.toStdString();
    EXPECT_TRUE(doctor.out.contains("Signature checking: on\n"));
    EXPECT_FALSE(doctor.out.contains(QUINDLE_TEST_SIGNING_KEY));
}
