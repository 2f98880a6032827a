#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

class Communication;

enum PrinterType {
    PrinterTypeUnknown = 0,
    PrinterTypeUsb = 1,
    PrinterTypeSerial = 2,
    PrinterTypeIEEE1284 = 3,
    PrinterTypeEth = 4,
};

// Settings texts handed to each printer type (a USB printer takes its model name instead).
extern const std::string DefaultSerialSettings;
extern const std::string DefaultUsbSettings;
extern const std::string DefaultIEEE1284Settings;
extern const std::string DefaultETHSettings;
extern const std::string DefaultUnknownSettings;

// The printer type code of the first descriptionLength bytes of a device description.
int getPrinterType(const char* description, int descriptionLength);

// Base of the printer objects behind a device handle; parses the device
// description when constructed. Destroyed only through its virtual destructor.
class Printer {
public:
    Printer(const char* description, int descriptionLength);
    virtual ~Printer();

    virtual bool Open();
    virtual bool Close();
    virtual bool SupportsComm();
    virtual bool Connect();
    virtual bool Disconnect();
    virtual bool Reconnect();
    virtual bool EarlyConnect();
    virtual bool FinalDisconnect();
    virtual bool isConnected() = 0;
    virtual Communication* getComm() = 0;
    virtual void SetPrinterNotifyCallBack(int (*statusCallback)(int)) = 0;
    virtual void SetSettings(const std::string& newSettings);

    int GetType() const { return type; }
    void SetLastError(int error) { lastError.store(error); }
    int GetLastError() const { return lastError.load(); }
    std::string& GetPath() { return path; }
    const std::string& GetSettings() const { return settings; }
    bool GetConnectedFlag() const { return connected.load(); }
    void SetConnectedFlag(bool value) { connected.store(value); }

    // The code tables this printer holds, in its order of preference; empty
    // until the host names them (the text layer then uses its default list).
    void SetCodeTables(std::vector<int> tables);
    std::vector<int> GetCodeTables() const;

    Printer(const Printer&) = delete;
    Printer& operator=(const Printer&) = delete;

protected:
    // Read by the status thread while host threads mark the device absent or present.
    std::atomic<bool> connected;
    std::string settings;
    std::string path;
    int type;
    std::atomic<int> lastError;

private:
    // A host thread may name the tables while another prints.
    mutable std::mutex codeTablesMutex;
    std::vector<int> codeTables;
};
