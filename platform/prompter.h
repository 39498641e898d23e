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

// A question with はい and いいえ (いいえ the default) and, when checkText is not empty, a check
// box below it, unticked at first.
struct CheckedQuestion {
    QString text;
    QString checkText;
};
struct CheckedAnswer {
    bool yes = false;
    bool checked = false;  // the check box's state when the box ended (false without one)
};

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
    // The question with a check box. A prompter that cannot ask answers いいえ.
    virtual CheckedAnswer AskChecked(const CheckedQuestion&) { return {}; }

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
    CheckedAnswer AskChecked(const CheckedQuestion& question) override;

    // The box AskCertificate runs, with its three buttons in the answers' order.
    static std::unique_ptr<QMessageBox> CertificateBox(const CertificateQuestion& question);
    // The box AskChecked runs: はい, いいえ (the default and Esc) and the check box if any.
    static std::unique_ptr<QMessageBox> CheckedBox(const CheckedQuestion& question);
};
