#include "app/CommandLine.h"

#include "updates/ShareExperience.h"

#include <QEventLoop>
#include <QFile>
#include <QRegularExpression>
#include <QTextStream>

namespace quindle {

namespace {

// The text as paragraphs, each escaped: what the form's editor would have sent.
QString paragraphsAsHtml(const QString &text) {
    static const QRegularExpression blankLines(QStringLiteral(R"(\n\s*\n)"));
    QStringList paragraphs;
    for (const QString &paragraph : text.split(blankLines, Qt::SkipEmptyParts))
        if (const QString trimmed = paragraph.trimmed(); !trimmed.isEmpty())
            paragraphs << QStringLiteral("<p>%1</p>").arg(trimmed.toHtmlEscaped());
    return paragraphs.join(QString());
}

bool isValue(const QList<ShareExperience::Choice> &choices, const QString &value) {
    return std::any_of(choices.cbegin(), choices.cend(),
                       [&](const ShareExperience::Choice &c) { return c.value == value; });
}

// Runs the model's call to its end.
void await(ShareExperience &model) {
    QEventLoop loop;
    QObject::connect(&model, &ShareExperience::changed, &loop, [&] {
        if (model.running() == ShareExperience::Call::None)
            loop.quit();
    });
    if (model.running() != ShareExperience::Call::None)
        loop.exec();
}

int feedbackUsage(QTextStream &err) {
    err << "Usage: quindle feedback send --email E --category C [--severity S] [--feature F]\n"
           "         [--frequency Q] [--name N] [--mobile M] --message-file FILE\n"
           "The code mailed to E is read from standard input.\n";
    return 2;
}

} // namespace

// quindle feedback send …: the form's three steps from a terminal.
int runFeedback(const QStringList &arguments) {
    QTextStream out(stdout);
    QTextStream err(stderr);
    if (arguments.value(0) != QLatin1String("send") || arguments.size() % 2 == 0)
        return feedbackUsage(err);
    QMap<QString, QString> options;
    for (qsizetype i = 1; i + 1 < arguments.size(); i += 2)
        options.insert(arguments.at(i), arguments.at(i + 1));
    static const QStringList known{"--email",     "--category", "--severity", "--feature",
                                   "--frequency", "--name",     "--mobile",   "--message-file"};
    for (auto option = options.cbegin(); option != options.cend(); ++option)
        if (!known.contains(option.key()))
            return feedbackUsage(err);
    if (!options.contains(QStringLiteral("--email")) ||
        !options.contains(QStringLiteral("--category")) ||
        !options.contains(QStringLiteral("--message-file")))
        return feedbackUsage(err);

    FeedbackClient client;
    ShareExperience model(client);
    ShareExperience::Form &form = model.form();
    form.email = options.value(QStringLiteral("--email"));
    form.name = options.value(QStringLiteral("--name"));
    form.mobile = options.value(QStringLiteral("--mobile"));
    form.category = options.value(QStringLiteral("--category"));
    form.severity = options.value(QStringLiteral("--severity"), form.severity);
    form.feature = options.value(QStringLiteral("--feature"), form.feature);
    form.frequency = options.value(QStringLiteral("--frequency"), form.frequency);
    for (const auto &[value, choices] :
         {std::pair{form.category, &ShareExperience::categories()},
          std::pair{form.severity, &ShareExperience::severities()},
          std::pair{form.feature, &ShareExperience::features()},
          std::pair{form.frequency, &ShareExperience::frequencies()}}) {
        if (!isValue(*choices, value)) {
            err << "“" << value << "” is not one of: ";
            for (const ShareExperience::Choice &choice : *choices)
                err << choice.value << (&choice == &choices->last() ? ".\n" : ", ");
            return 2;
        }
    }
    QFile messageFile(options.value(QStringLiteral("--message-file")));
    if (!messageFile.open(QIODevice::ReadOnly)) {
        err << "Could not read " << messageFile.fileName() << ": " << messageFile.errorString()
            << '\n';
        return 1;
    }
    const QString message = QString::fromUtf8(messageFile.readAll());
    if (!model.configured()) {
        err << FeedbackClient::noAddressMessage() << '\n';
        return 1;
    }

    model.requestCode();
    await(model);
    if (model.statusIsError()) {
        err << model.status() << '\n';
        return 1;
    }
    out << model.status() << '\n' << "Code: " << Qt::flush;
    form.code = QTextStream(stdin).readLine();
    model.verify();
    await(model);
    if (!model.verified()) {
        err << model.status() << '\n';
        return 1;
    }
    out << model.status() << '\n';
    model.submit(paragraphsAsHtml(message), message);
    await(model);
    if (!model.referenceId()) {
        err << model.footerError() << '\n';
        return 1;
    }
    out << "Thank you — we received your message.\n"
        << "Your reference ID is below. Reply to your verification email if you'd like to add "
           "anything; the team will see it on the same record.\n"
        << *model.referenceId() << '\n';
    return 0;
}

} // namespace quindle
