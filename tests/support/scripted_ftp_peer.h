#pragma once

#include <QByteArray>
#include <QList>
#include <QStringList>
#include <QString>
#include <QtGlobal>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// A scripted FTP server on loopback for pinning down the wire. It listens on 127.0.0.1 (any
// free port), accepts one client, and runs its script in its own thread: read a command,
// answer bytes, open or accept data connections, send or receive data, stall, close... It
// records every byte the client sends on the control connection and on data connections.
//
// Build the whole script before the client connects; it runs in order. A step that cannot finish
// (the client closed, nothing came within the peer's own safety limit) stops the script and is
// noted in Errors(). When the script ends the peer keeps reading (and recording) until the
// client closes the control connection or the peer is destroyed.
class ScriptedFtpPeer {
public:
    ScriptedFtpPeer();
    ~ScriptedFtpPeer();
    ScriptedFtpPeer(const ScriptedFtpPeer&) = delete;
    ScriptedFtpPeer& operator=(const ScriptedFtpPeer&) = delete;

    quint16 Port() const { return port; }

    // --- script steps ---
    // Sends raw bytes on the control connection (give the CR LF yourself).
    ScriptedFtpPeer& Send(const QByteArray& bytes);
    // Reads one command line (up to CR LF) from the client.
    ScriptedFtpPeer& Read();
    // Reads one command line, then sends the answer followed by CR LF.
    ScriptedFtpPeer& Answer(const QByteArray& line) { return Read().Send(line + "\r\n"); }
    // The usual greeting.
    ScriptedFtpPeer& Greet() { return Send("220 scripted peer ready\r\n"); }
    // Greeting, USER 331, PASS 230.
    ScriptedFtpPeer& Login();
    // Reads one command (the PASV), opens a data listener and sends the reply, then CR LF.
    // In the reply "{addr}" stands for "127,0,0,1,{p1},{p2}", and {p1} {p2} for the two bytes
    // of the listener's port, {port} for the port as one number (for a 229 reply).
    ScriptedFtpPeer& AnswerPassive(const QByteArray& reply = "227 Entering Passive Mode ({addr}).");
    // Accepts the client's connection on the passive data listener.
    ScriptedFtpPeer& AcceptData();
    // Connects to the address of the latest PORT command.
    ScriptedFtpPeer& ConnectData();
    ScriptedFtpPeer& SendData(const QByteArray& bytes);
    // Receives on the data connection until the client closes it (a reset is an error).
    ScriptedFtpPeer& ReceiveData();
    ScriptedFtpPeer& CloseData();
    // Ends the sending side of the data connection (the client sees an end of file) and keeps
    // it open for the client's own close, which ReceiveData then waits for.
    ScriptedFtpPeer& EndDataSending();
    // Breaks the data connection off with a reset instead of an end of file.
    ScriptedFtpPeer& ResetData();
    // Waits until the client closes the control connection, recording what it sends.
    ScriptedFtpPeer& WaitForClose();
    // Closes the control connection now.
    ScriptedFtpPeer& Close();
    // Waits a moment, so that what was sent before arrives in a read of its own.
    ScriptedFtpPeer& Pause(std::chrono::milliseconds pause = std::chrono::milliseconds(50));
    // Any step of your own, run in the peer's thread.
    ScriptedFtpPeer& Do(std::function<void()> step);

    // --- results (safe to read at any time) ---
    // Waits until the script has run to its end (all steps, not the final reading).
    bool WaitScriptDone(std::chrono::milliseconds limit = std::chrono::seconds(20));
    // Waits until the peer's thread ended (the client closed the control connection).
    bool WaitFinished(std::chrono::milliseconds limit = std::chrono::seconds(20));
    QByteArray Received() const;             // every control byte from the client, in order
    QList<QByteArray> Commands() const;      // the command lines read so far, without CR LF
    QByteArray DataReceived() const;         // bytes of the latest ReceiveData
    QStringList Errors() const;
    bool ClientConnected() const { return clientFd.load() >= 0; }

private:
    void Run();
    bool ReadLine(QByteArray& line);
    bool SendAll(int fd, const char* data, qsizetype size);
    bool WaitReadable(int fd);
    void Fail(const QString& what);
    ScriptedFtpPeer& Step(std::function<bool()> step);

    quint16 port = 0;
    int listenFd = -1;
    std::atomic<int> clientFd{-1};
    int dataListenFd = -1;
    int dataFd = -1;
    QByteArray controlBuffer;  // read from the client, not yet taken as a command

    std::vector<std::function<bool()>> steps;
    std::thread thread;
    std::atomic<bool> started{false};
    std::atomic<bool> stopping{false};
    std::atomic<bool> scriptDone{false};
    std::atomic<bool> finished{false};

    mutable std::mutex mutex;
    QByteArray received;
    QList<QByteArray> commands;
    QByteArray dataReceived;
    QStringList errors;
};
