// platform/interface/Alert.h: alerts and the system beep, through one replaceable service.
#pragma once

#include "platform/support/SupportDefs.h"

#include <string>
#include <vector>

class BInvoker;

enum button_width { B_WIDTH_AS_USUAL = 0, B_WIDTH_FROM_WIDEST = 1, B_WIDTH_FROM_LABEL = 2 };
enum alert_type {
    B_EMPTY_ALERT = 0,
    B_INFO_ALERT = 1,
    B_IDEA_ALERT = 2,
    B_WARNING_ALERT = 3,
    B_STOP_ALERT = 4,
};

// A modal alert. Create it with new; Go() shows it and deletes it.
class BAlert
{
public:
    BAlert(const char* title, const char* text, const char* button0, const char* button1 = nullptr,
        const char* button2 = nullptr, button_width width = B_WIDTH_AS_USUAL,
        alert_type type = B_INFO_ALERT);
    ~BAlert();
    BAlert(const BAlert&) = delete;
    BAlert& operator=(const BAlert&) = delete;

    // Shows the alert, waits until a button is pressed, deletes the alert and returns the
    // index of the button. The trace is flushed first.
    int32 Go();
    // Shows the alert and returns B_OK at once; the alert deletes itself when dismissed.
    status_t Go(BInvoker* invoker);

private:
    std::string fTitle;
    std::string fText;
    std::vector<std::string> fButtons;
    alert_type fType;
};

// The desktop bell.
void beep();

// What an alert asks of the service that shows it.
struct AlertRequest {
    std::string title;
    std::string text;
    std::vector<std::string> buttons;
    alert_type type = B_INFO_ALERT;
    bool waits = true;
};

// Shows alerts and sounds beeps. The program uses the desktop's message boxes and bell; tests
// install a recorder instead.
class AlertService
{
public:
    virtual ~AlertService() = default;
    // For a waiting request, returns the index of the pressed button once it is pressed; for
    // a non-waiting one, shows it and returns at once.
    virtual int32 Show(const AlertRequest& request) = 0;
    virtual void Beep() = 0;
};

// Installs service (null restores the desktop's) and returns the one it replaces. The caller
// keeps ownership.
AlertService* set_alert_service(AlertService* service);
AlertService* alert_service();
