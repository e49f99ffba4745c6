// The program's own texts (the string table), in one place.
#pragma once

namespace Msg {
inline constexpr const char* AppTitle = "Teravox II";
inline constexpr const char* CommunicationStopped = "Communication stopped";                // 103
inline constexpr const char* DirectoryError = "Directory Error";                            // 105
inline constexpr const char* AreYouSure = "Are you sure ?";                                 // 106
inline constexpr const char* NumericInvalid = "One of the numeric values is unvalide !!!";  // 109
inline constexpr const char* SelectValidSequence = "Select a valid sequence";               // 110
inline constexpr const char* CreateNewDirectory = "Please create new directory";            // 120
// The question before the open set's unsaved changes would be dropped; %1 says by what.
inline constexpr const char* SaveSetBefore =
    "The set of sequences has changes that are not saved. Save them before %1?";
inline constexpr const char* BeforeQuitting = "quitting";
inline constexpr const char* BeforeOpening = "opening another set";
inline constexpr const char* BeforeNewSet = "starting a new set";
inline constexpr const char* SetFolderGone = "The set folder %1 no longer exists; it leaves the recent sets.";
inline constexpr const char* PortLocked = "Communication port locked, please quit program before changing it";
inline constexpr const char* PortsAtNextStart =
    "The ports and devices chosen are kept and take effect at the next start.";
inline constexpr const char* ErrorOnQuadripole = "Error on Quadripole ";
inline constexpr const char* SelectSequenceCaption = "Select a sequence ";  // the sequence chooser
inline constexpr const char* UploadProcess = "Upload process";
inline constexpr const char* UploadFindings = "The instrument will not take or will change this in %1:";
inline constexpr const char* UploadAnyway = "Upload it all the same?";
inline constexpr const char* SelectVarnelMenu = "Select VARNEL menu to upload sequence and press < OK >";
// The sequence dialogs.
inline constexpr const char* SequenceCaption = "Sequence";                                     // 1000
inline constexpr const char* CableErrorCaption = " Cable error";                               // 102
inline constexpr const char* EnterCableSetName = "Enter a cable set name";                     // 1012
inline constexpr const char* CreateOneQuadripole = "You must create at least one quadripole";  // 1201
inline constexpr const char* SelectOneLevel = "Select at least one level";                     // 1300
inline constexpr const char* OverlappingLines = " ovelapping line(s)";                         // 1500
inline constexpr const char* EnterSequenceTitle = "Enter a sequence title";
inline constexpr const char* TitleNamesNoFile =
    "The title needs a character before its last \".\": the sequence is saved under that part.";
inline constexpr const char* KeepCreatedSequence =
    "The sequence has changes that Ok has not kept. Save them, as Ok does?";
inline constexpr const char* CreateAgainFirst =
    "The geometry changed since the sequence was created: create it again, then save it.";
inline constexpr const char* NoQuadripoleCreated = "No quadripole was created: ";
inline constexpr const char* CannotGenerate = "The sequence cannot be generated: ";
inline constexpr const char* NameNotAdded =
    ": no unique name can be made from it; the sequence was not added";
inline constexpr const char* NameKept = "The name cannot be made unique; the sequence keeps its name ";
// The cable editor and the dial directory.
inline constexpr const char* CableCaption = "Cable";
inline constexpr const char* KeepCableSet =
    "The cable set has changes that are not written to a file. Save them?";
inline constexpr const char* SegmentCaption = "Create/Modify Segment";
inline constexpr const char* CreateSegmentsOrg = "create Segments.org";
inline constexpr const char* ItemNotSelected = "Item not Selected";
inline constexpr const char* DecimalSymbol =
    "<Start | Parameters | Panel | Regional parameters | Number/Decimal symbol>, and so specify the <.> as "
    "being "
    "the decimal symbol.";
inline constexpr const char* DuplicateNodes = "Duplicate node number(s)";
inline constexpr const char* IncompatibleWith = " incompatible with ";
inline constexpr const char* DeleteWhat = "Delete ";
inline constexpr const char* EnterSegmentName = "Enter a segment name";
inline constexpr const char* SpacingNotNumber = "Spacing beetwen node : not a number: ";
inline constexpr const char* SpacingNotPositive = "Spacing beetwen node : must be above 0: ";
inline constexpr const char* SegmentNameTaken = "The library already holds a segment named ";
inline constexpr const char* LibraryNotRewritten = "The segment library was not rewritten: ";
inline constexpr const char* DirectoryCaption = "Directory";
}  // namespace Msg
