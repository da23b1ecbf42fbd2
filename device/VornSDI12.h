#pragma once
// SDI-12 sensor operations relayed through a comm device. The instrument session creates
// one and releases it; no path of the updater uses its operations, so it holds only what
// it was created with.
class MOSSY_Protocol;
class VornLog;

class VornSDI12 {
public:
    // Neither the log nor the connection is owned; both outlive the object.
    VornSDI12(VornLog* log, MOSSY_Protocol* connection) : log_(log), connection_(connection) {}
    VornSDI12(const VornSDI12&) = delete;
    VornSDI12& operator=(const VornSDI12&) = delete;

    VornLog* Log() const { return log_; }
    MOSSY_Protocol* Connection() const { return connection_; }

private:
    VornLog* log_;
    MOSSY_Protocol* connection_;
};
