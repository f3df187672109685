#pragma once
// The program's string table: every text that the user sees in a message
// box, exactly as it reads, under the identifier it has had since the first
// version. Formatted texts that belong to one subsystem live beside its code.

namespace vireon::messages {

// Version number shown by the About box and written to model files.
inline constexpr const char* kVersion = "3.00301";  // 5000

inline constexpr const char* kSyntaxError = "Syntax error";  // 5001
inline constexpr const char* kStepNameInUse = "This step name is already in use";  // 5002
inline constexpr const char* kBadStepName =
    "This step name is empty or contains blanks.\nPlease enter a name without spaces, tabs or "
    "line breaks.";
inline constexpr const char* kNoItemSelected = "No item selected.";  // 5004
inline constexpr const char* kFirstRun =
    "This is the first time you run Vireon v. 3\nInitialization data will be written to the "
    "registry.";  // 5007
inline constexpr const char* kDerivationFactorReset =
    "WARNING:\nThe derivation factor was outside the interval [0.00001,0.25].\nSet to the "
    "default.";  // 5016
inline constexpr const char* kBdfOrderReset =
    "WARNING:\nThe maximum order for the BDF method\nwas outside the legal values.\nSet to the "
    "default.";  // 5017
inline constexpr const char* kAdamsOrderReset =
    "WARNING:\nThe maximum order for the Adams method\nwas outside the legal values.\nSet to the "
    "default.";  // 5018
inline constexpr const char* kAbsoluteToleranceReset =
    "WARNING:\nThe absolute tolerance for integration\nwas negative.\nSet to the default.";  // 5019
inline constexpr const char* kRelativeToleranceReset =
    "WARNING:\nThe relative tolerance for integration was negative.\nSet to the default.";  // 5020
inline constexpr const char* kResolutionReset =
    "WARNING:\nThe steady-state resolution was negative.\nSet to the default.";  // 5021
inline constexpr const char* kNewtonLimitReset =
    "WARNING:\nThe limit for Newton iterations was less than 2.\nSet to the default.";  // 5022
inline constexpr const char* kPointsReset =
    "WARNING:\nThe number of points for the integration was negative.\nSet to the "
    "default.";  // 5023
inline constexpr const char* kEndTimeReset =
    "WARNING:\nThe end time of the integration was not a number, or nearer 0 than 1e-100.\nSet "
    "to the default.";
inline constexpr const char* kIntegratorReset =
    "WARNING:\nThe integrator this file names is not known.\nLSODA is used instead.";
inline constexpr const char* kNewerVersion =
    "WARNING:\nThis file was written with a newer version of VIREON.\nThis read operation may "
    "fail.";  // 5024
inline constexpr const char* kSettingsCorrupt =
    "WARNING:\nThe registry entry for this program is corrupt.\nIf this error persists seek "
    "technical advice.\nVireon will now attempt to write new initialization data.\nPlease check "
    "your default settings in the program.";  // 5025
inline constexpr const char* kScanEndsEqual = "The Min and Max values must not be equal.";  // 5026
inline constexpr const char* kScanDensityReset =
    "WARNING:\nThe density of a scanning element was less than 2. Reset to 2.";  // 5027
inline constexpr const char* kScanEndsReset =
    "WARNING:\nThe Min and Max values of a scanning element were equal.\nReset to default "
    "values.";  // 5028
inline constexpr const char* kStatusIdle = "Idle         ";  // 5029
inline constexpr const char* kStatusRunning = "Running";     // 5030
inline constexpr const char* kPlotNeedsSelection =
    "You can only plot data that is selected for output in the Tasks Page.";  // 5031
inline constexpr const char* kSettingsStoreFailed =
    "WARNING:\nFailed to store the user defined default values in the registry.";  // 5032
inline constexpr const char* kLinkNotAdded =
    "An internal error ocurred.\nThis link was not added to the model.\n\nPlease contact the "
    "author of this program\n(see help file).";  // 5034
inline constexpr const char* kNegativeUserKinetics =
    "The file specifies a negative number of user-defined kinetics. Load aborted.";  // 5042
inline constexpr const char* kUserKineticsClash =
    "The file defines a user-defined kinetic type that has the same name as another type in "
    "the database. This file cannot be loaded.";  // 5043
inline constexpr const char* kStatusPaused = "Paused";  // 5045
inline constexpr const char* kNoModelDefined =
    "You have not yet defined a model.\nA model must at least include one step.";
inline constexpr const char* kBadMetaboliteName =
    "This metabolite name contains invalid characters or is empty. \nPlease enter a name not "
    "containing spaces, tabs, the\ncharacters * . = or the sequence ->";  // 5047
inline constexpr const char* kCannotCloseWhileRunning =
    "Vireon cannot close while a simulation is running.\nStop the simulation and try "
    "again.";  // 5048

// Kinetic types and the kinetics database.
inline constexpr const char* kModifiersUndefined =
    "Not all modifiers have been defined for this step.";
inline constexpr const char* kKineticTypeNameMissing = "You must give this kinetic type a name.";
inline constexpr const char* kKineticTypeNameTaken =
    "There is already a kinetic type with this name in the database.\nYou must give this type a "
    "unique name.";
inline constexpr const char* kSubstrateCountTooLow =
    "You must set the number of substrates for this type\nto be at least the number of "
    "substrates in the expression.";
inline constexpr const char* kProductCountTooLow =
    "You must set the number of products for this type\nto be at least the number of products "
    "in the expression.";
inline constexpr const char* kKineticTypeProcessingError =
    "WARNING:\nAn error occurred in the processing of this kinetic type, further errors might "
    "follow from this.";
inline constexpr const char* kKineticsDatabaseCorrupt =
    "WARNING:\nFailed to read the user-defined kinetic database which may be corrupted. If you "
    "create user-defined types in this run, the old database will be erased.";
inline constexpr const char* kKineticsDatabaseNotFound =
    "The user-defined kinetics database could not be found in the current directory.\nIf you "
    "continue execution this database will be stored in a file named 'vireon.kdb' in your TEMP "
    "directory. Do you want to continue execution?";
inline constexpr const char* kNoProgramOrTemporaryPath =
    "Vireon failed to determine the path where it is running from and the path to the system "
    "temporary directory. If your system is behaving unstable now, please reboot and try again. "
    "Also check that this computer has a temporary directory and that either the TMP or TEMP "
    "environment variables point to it. If this problem persists contact your system "
    "administrator. Vireon cannot continue execution and will exit now.";

// Titles of the file reading message boxes.
inline constexpr const char* kFileErrorTitle = "Vireon File I/O error";
inline constexpr const char* kFileWarningTitle = "Vireon File I/O warning";

}  // namespace vireon::messages
