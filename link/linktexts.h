// The texts of the instrument link: exception texts raised by the link, and the program's messages
// shown to the user by the link and its commands. One place, so that front ends show the same words.
#pragma once

#include <string>

#include "link/linkhost.h"

namespace LinkText {
// Raised as TLinkError.
constexpr const char* PortErrGetcom = "Port err. Getcom";
constexpr const char* PortErrPutcom = "Port err. putcom";
constexpr const char* PortErr = "Port err.";
constexpr const char* PortErrGetstring = "Port err. getstring";
constexpr const char* PortErrSetcmd = "Port err. Setcmd";
constexpr const char* PortErrXbtCload = "Port err. xbtCload";
constexpr const char* WaitError = "Wait error";

// Shown by the link.
constexpr const char* UnknownBaudrate = "Unknown Baudrate";
constexpr const char* ErrBuffer = "Err. Buffer";

// The question boxes.
constexpr const char* CommunicationTitle = "Communication";
constexpr const char* UploadTitle = "Upload process";                                               // 121
constexpr const char* SelectVarnelMenu = "Select VARNEL menu to upload sequence and press < OK >";  // 122

// The commands' messages (string table numbers).
constexpr const char* CommunicationStopped = "Communication stopped";       // 103
constexpr const char* UploadError = "An error occured during upload";       // 113
constexpr const char* CorrectlyLoaded = " correctly loaded ";               // 114
constexpr const char* OnMemory = " On Memory ";                             // 115
constexpr const char* StartWith = "Start with ";                            // 124
constexpr const char* MemoryFull = "memory full can't store new sequence";  // 125
constexpr const char* Deleted = " deleted";                                 // 126
constexpr const char* Connected = "Connected";                              // 127
constexpr const char* TooManyForFamily1 = "Error!!! Quadripoles sequences > 1500";
constexpr const char* EleFileRequired = " File required for downloading to DALVEX software";

// "Communication stopped" when the device went away under the exchange: unlike a stop, the user did
// not do it and needs to be told. `port` as TPortVirt::PortText gives it.
inline std::string DeviceWentAway(const std::string& port) {
    return std::string(CommunicationStopped) + ": the device on " + port + " went away";
}

// Why the link gave up retrying (TLinkStatus::Garbled); shown after "Communication stopped: ".
inline std::string NoTransferStart(int bytes) {
    return "no start of the transfer in " + std::to_string(bytes) + " bytes from the instrument";
}
inline std::string BlockNeverArrived(int block, int times) {
    return "the instrument asked for block " + std::to_string(block) + " again " + std::to_string(times) +
           " times in a row: no copy reached it whole";
}
inline std::string RequestsGarbled(int times) {
    return std::to_string(times) + " requests in a row from the instrument named no block of the transfer";
}
inline std::string BlockCameSpoilt(int block, int times) {
    return "block " + std::to_string(block) + " came spoilt from the instrument " + std::to_string(times) +
           " times in a row";
}
constexpr const char* UploadRefused = "the instrument did not accept the upload command";

// What a wait waits for and where, e.g. "Waiting for the instrument to answer on COM 2 (/dev/ttyS1)";
// "" for TKind::None. A front end adds how its user ends the wait.
inline std::string WaitText(const TLinkWait& wait) {
    switch (wait.Kind) {
        case TLinkWait::TKind::Identification:
            return "Waiting for the instrument to answer on " + wait.Port;
        case TLinkWait::TKind::Dialling:
            return "Waiting for the modem to connect on " + wait.Port;
        case TLinkWait::TKind::Prompt:
            return "Waiting for the instrument's prompt on " + wait.Port;
        case TLinkWait::TKind::None:
            break;
    }
    return "";
}
}  // namespace LinkText
