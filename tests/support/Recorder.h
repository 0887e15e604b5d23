// tests/support/Recorder.h: records alerts and beeps instead of showing them, and captures the
// trace written to standard output.
#pragma once

#include "platform/interface/Alert.h"

#include <string>
#include <vector>

class AlertRecorder : public AlertService
{
public:
    AlertRecorder(); // installs itself
    ~AlertRecorder() override; // restores the previous service

    int32 Show(const AlertRequest& request) override;
    void Beep() override { ++beeps; }

    // The texts of the recorded alerts, in order.
    std::vector<std::string> Texts() const;
    void Clear();

    std::vector<AlertRequest> alerts;
    int beeps = 0;

private:
    AlertService* fPrevious;
};

// Captures what is written to standard output (file descriptor 1) between construction and
// Take(), flushing the trace's writer on both ends; when it ends, the whole capture goes on to the
// real standard output, so that test failures reported there are seen.
class TraceCapture
{
public:
    TraceCapture();
    ~TraceCapture();
    std::string Take(); // the text so far; capturing goes on

private:
    int fSaved = -1;
    int fFile = -1;
    std::string fPath;
    size_t fTaken = 0;
};
