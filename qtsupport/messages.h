// The program's own texts (the string table), in one place.
#pragma once

namespace Msg {
inline constexpr const char* AppTitle = "Teravox II";
inline constexpr const char* CommunicationStopped = "Communication stopped";          // 103
inline constexpr const char* DirectoryError = "Directory Error";                      // 105
inline constexpr const char* AreYouSure = "Are you sure ?";                           // 106
inline constexpr const char* NumericInvalid = "One of the numeric values is unvalide !!!";  // 109
inline constexpr const char* SelectValidSequence = "Select a valid sequence";         // 110
inline constexpr const char* CreateNewDirectory = "Please create new directory";      // 120
inline constexpr const char* QuitWithoutSaving = "Quit without saving the set of sequences";  // 123
inline constexpr const char* PortLocked = "Communication port locked, please quit program before changing it";
inline constexpr const char* ErrorOnQuadripole = "Error on Quadripole ";
inline constexpr const char* NotYetAvailable = "This dialog is not available in this version.";
inline constexpr const char* SelectSequenceCaption = "Select a sequence ";   // the sequence chooser
inline constexpr const char* UploadProcess = "Upload process";
inline constexpr const char* SelectVarnelMenu = "Select VARNEL menu to upload sequence and press < OK >";
}  // namespace Msg
