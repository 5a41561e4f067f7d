#include "insight/ServiceRun.h"

#include "core/ServiceScripts.h"

namespace quindle {

ServiceRun::Kind ServiceRun::folderMove() {
    return {service::moveDir, 16000, QStringLiteral("Couldn't launch move: "), true};
}

ServiceRun::Kind ServiceRun::freeSpace() {
    return {service::freeSpace, 32000, QStringLiteral("Couldn't launch free-space: ")};
}

ServiceRun::Kind ServiceRun::cloudOptimisation() {
    return {service::optimiseCloud, 32000, QStringLiteral("Couldn't launch optimize-icloud: ")};
}

ServiceRun::ServiceRun(Kind kind, QObject *parent)
    : QObject(parent)
    , m_kind(std::move(kind)) {}

ServiceRun::~ServiceRun() = default;

void ServiceRun::start(const QString &target) {
    if (m_running)
        return;
    m_target = target;
    m_output = m_kind.narrated ? QStringLiteral("Starting move of ") + target + QLatin1Char('\n')
                               : QString();
    m_exitCode.reset();
    m_startedAt = QDateTime::currentDateTimeUtc();
    m_finishedAt.reset();
    m_running = true;

    m_process = std::make_unique<StreamedProcess>();
    StreamedProcess *process = m_process.get();
    m_outDecoder = QStringDecoder(QStringDecoder::Utf8);
    m_errDecoder = QStringDecoder(QStringDecoder::Utf8);
    connect(process, &StreamedProcess::standardOutputChunk, this,
            [this](const QByteArray &bytes) { append(m_outDecoder.decode(bytes)); });
    connect(process, &StreamedProcess::standardErrorChunk, this,
            [this](const QByteArray &bytes) { append(m_errDecoder.decode(bytes)); });
    connect(process, &StreamedProcess::finished, this, &ServiceRun::conclude);
    StreamedProcess::Options options;
    options.chunks = true;
    options.grace = stopGrace;
    const QStringList extra = target.isEmpty() ? QStringList() : QStringList{target};
    if (!process->start(service::program(), service::arguments(m_kind.subCommand, extra),
                        options)) {
        const QString failure = m_kind.launchFailure + process->errorString();
        m_output = m_kind.narrated ? m_output + failure : failure;
        m_running = false;
        m_finishedAt = QDateTime::currentDateTimeUtc();
        m_process.reset();
        Q_EMIT changed();
        return;
    }
    Q_EMIT changed();
    Q_EMIT runningChanged();
}

void ServiceRun::stop() {
    if (m_process && m_running)
        m_process->terminate();
}

void ServiceRun::append(const QString &text) {
    m_output += text;
    Q_EMIT outputAppended(text);
    if (m_output.size() > m_kind.outputCap)
        m_output = m_output.right(m_kind.outputCap);
    Q_EMIT changed();
}

void ServiceRun::conclude(int status) {
    if (m_kind.narrated) {
        m_output += QStringLiteral("\n\n— finished with exit code %1").arg(status);
        if (m_output.size() > m_kind.outputCap)
            m_output = m_output.right(m_kind.outputCap);
    }
    m_exitCode = status;
    m_finishedAt = QDateTime::currentDateTimeUtc();
    m_running = false;
    m_process.release()->deleteLater();
    Q_EMIT changed();
    Q_EMIT runningChanged();
    Q_EMIT finished(status);
}

} // namespace quindle
