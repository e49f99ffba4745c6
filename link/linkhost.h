// What the instrument link needs from the program that runs it. The engine never shows UI: the desktop
// program implements TLinkHost with Qt, the command-line program with stdout and SIGINT, tests with scripted
// answers.
#pragma once

#include <cstdint>
#include <string>

// A wait for the instrument or the modem that has no time-out, so that only a stop ends it.
struct TLinkWait {
    enum class TKind {
        None,            // the wait is over
        Identification,  // the instrument's echo of the synchronisation byte, after connecting
        Dialling,        // the modem's answers to the reset, the init string and the dialling
        Prompt,          // the instrument's prompt before a command
    };
    TKind Kind = TKind::None;
    std::string Port;  // where: "COM 2 (/dev/ttyS1)", "USB"
};

// The host of a link. Every call is made from the thread that runs the exchange.
class TLinkHost {
   public:
    enum class TButtons { OkCancel, YesNo };

    virtual ~TLinkHost() = default;

    // Lets pending user events run. This is where a stop takes effect: a stop handler calls
    // Disconnect on the link from inside this call, and the interrupted wait ends at its next test.
    virtual void ProcessEvents() = 0;
    // The hourglass (true) or the normal cursor (false).
    virtual void SetBusyCursor(bool busy) = 0;
    // A message box with an OK button; returns when the user has seen it.
    virtual void ShowMessage(const std::string& text) = 0;
    // A question box with an information icon: true for OK or Yes, false for Cancel or No.
    virtual bool Ask(const std::string& title, const std::string& text, TButtons buttons) = 0;
    // The link starts (or, with TKind::None, has ended) a wait that only a stop ends; LinkText's
    // WaitText words it. Called once at each start and end, never per poll. The default shows nothing.
    virtual void Waiting(const TLinkWait& wait) { (void)wait; }
};

// A progress indicator (the upload panel's bar). The link reads the position back, so the plain
// class keeps the values; a front end overrides Changed to show them.
class TProgressIndicator {
   public:
    virtual ~TProgressIndicator() = default;
    void SetMinimum(int v) {
        min_ = v;
        Changed();
    }
    void SetMaximum(int v) {
        max_ = v;
        Changed();
    }
    void SetPosition(int v) {
        pos_ = v;
        Changed();
    }
    int Minimum() const { return min_; }
    int Maximum() const { return max_; }
    int Position() const { return pos_; }

   protected:
    virtual void Changed() {}

   private:
    int min_ = 0;
    int max_ = 100;
    int pos_ = 0;
};
