#pragma once

#include <QString>

#include <memory>

class QDialog;
class QMessageBox;

// A server certificate the system did not vouch for, put to the person.
struct CertificateQuestion {
    QString text;          // subject, issuer, validity, fingerprint and the reason, in lines
    bool changed = false;  // a server trusted before shows another certificate: the louder warning
};
enum class CertificateAnswer { TrustAlways, TrustOnce, Cancel };

// The one seam through which every message box and every modal dialog run goes, so that handler
// tests can answer them from a script and check which questions were asked.
class Prompter {
public:
    virtual ~Prompter() = default;

    // A message box with one OK button.
    virtual void ShowMessage(const QString& text) = 0;
    // A question with Yes and No; true for Yes.
    virtual bool AskYesNo(const QString& text) = 0;
    // Runs the dialog modally; true when it ended with OK (accepted).
    virtual bool RunDialog(QDialog& dialog) = 0;
    // The certificate question, titled "Tallowin 証明書の確認". A prompter that cannot ask
    // refuses the certificate.
    virtual CertificateAnswer AskCertificate(const CertificateQuestion&) { return CertificateAnswer::Cancel; }

    // A Yes/No question from any thread. Asked from a worker thread, it runs on the application's
    // thread through the prompter in force while the worker waits for the answer; that thread
    // must be processing events (the window does while it waits for server work).
    static bool AskFromAnyThread(const QString& text);

    // The prompter in force: the Qt one unless a test installed another.
    static Prompter& Current();
    // Installs a prompter (not owned); nullptr restores the Qt one.
    static void Install(Prompter* prompter);
};

// The real prompter: Qt message boxes and QDialog::exec().
class QtPrompter : public Prompter {
public:
    void ShowMessage(const QString& text) override;
    bool AskYesNo(const QString& text) override;
    bool RunDialog(QDialog& dialog) override;
    CertificateAnswer AskCertificate(const CertificateQuestion& question) override;

    // The box AskCertificate runs, with its three buttons in the answers' order.
    static std::unique_ptr<QMessageBox> CertificateBox(const CertificateQuestion& question);
};
