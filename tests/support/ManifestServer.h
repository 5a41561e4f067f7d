#pragma once

#include "support/SignedManifest.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QObject>
#include <QTcpServer>
#include <QUrl>

class QTcpSocket;

namespace quindle::test {

// An HTTP server on 127.0.0.1 that serves an update manifest, and any files it is given, the way
// it is told to, and records every request with its headers. Lives on the thread that runs the
// test's event loop.
class ManifestServer : public QObject {
    Q_OBJECT
public:
    enum class Answer {
        Good,                  // 200, the signed manifest
        Tampered,              // 200, the signed manifest with a value changed after signing
        Unsigned,              // 200, the manifest without a signature
        NotModified,           // 304
        ServerError,           // 500
        NotJson,               // 200, a web page
        CutShort,              // 200, the connection closes before Content-Length bytes came
        CutShortWithoutLength, // 200, no Content-Length, the connection closes halfway
        Silence,               // reads the request, never answers
        Stall,                 // 200 with Content-Length, half the body, then nothing
        Drip,                  // 200 and its headers at once, then the manifest a byte a second
        RedirectAway,          // 302 to a plain http address off this computer
    };

    struct Request {
        QByteArray method;
        QByteArray target;                    // the path and query
        QMap<QByteArray, QByteArray> headers; // names in lower case
        QByteArray body;                      // as Content-Length says
    };

    // A web-service answer for one path, whatever the method.
    struct Scripted {
        enum class Mode {
            Answer,  // the status and body at once
            Close,   // reads the request and closes without a word
            Silence, // reads the request, never answers
            Drip,    // the head at once, then the body a byte a second
        };
        int status = 200;
        QByteArray body;
        QByteArray contentType = "application/json";
        Mode mode = Mode::Answer;
    };

    explicit ManifestServer(SignedManifest manifest, QObject *parent = nullptr);

    // Where the manifest is served: http://127.0.0.1:<port>/manifest.json
    QUrl address() const;
    void setManifest(SignedManifest manifest) { m_manifest = std::move(manifest); }
    // How every request for the manifest from now on is answered; Good until told otherwise.
    void answerWith(Answer answer) { m_answer = answer; }
    // Serves `body` at `path` (from "/"), answered as answerFilesWith() says.
    QUrl serveFile(const QByteArray &path, const QByteArray &body);
    // How requests for files are answered (Good until told otherwise); the manifest is
    // unaffected. Tampered and Unsigned mean Good here.
    void answerFilesWith(Answer answer) { m_fileAnswer = answer; }
    const QList<Request> &requests() const { return m_requests; }
    // Answers requests for `path` so from now on.
    void script(const QByteArray &path, Scripted answer) { m_scripts.insert(path, answer); }
    // http://127.0.0.1:<port>/ + `path`
    QUrl base(const QByteArray &path = "/") const;

private:
    void read(QTcpSocket *socket);
    void answer(QTcpSocket *socket, const QByteArray &target);
    void answerScripted(QTcpSocket *socket, const Scripted &scripted);

    SignedManifest m_manifest;
    QTcpServer m_server;
    Answer m_answer = Answer::Good;
    Answer m_fileAnswer = Answer::Good;
    QMap<QByteArray, QByteArray> m_files;
    QMap<QByteArray, Scripted> m_scripts;
    QList<Request> m_requests;
};

} // namespace quindle::test
