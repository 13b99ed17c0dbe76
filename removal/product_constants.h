// Every name the uninstaller touches or shows. Nothing else is ever removed.
#ifndef ZOVOVAR_PRODUCT_CONSTANTS_H
#define ZOVOVAR_PRODUCT_CONSTANTS_H

#define COUNT_OF(a) (sizeof(a) / sizeof((a)[0]))

// ---- What the user sees ----------------------------------------------------------
static const char kCaption[] = "Uninstaller";
static const char kConfirmText[] =
    "Are you sure you want to completely remove \nthe USB Host Driver for Picaro 2400R?";
static const char kSuccessText[] = "Uninstall succeeded!\nPlease restart Windows.";
static const char kMainClassName[] = "MainDlg";  // also the icon and the menu name

// ---- Driver and setup files ----------------------------------------------------------
static const char kSeparator[] = "\\";
static const char *const kSystemFiles[] = {"RIRUREVE.SYS", "iosubsys\\RIROZEZA.PDR"};
static const char kInfFolder[] = "\\inf\\";
static const char *const kInfFiles[] = {"RIRUREVE.INF", "RIROZEZA.INF"};
static const char kOemInfFolder[] = "\\inf\\OTHER\\";
static const char *const kOemInfFiles[] = {"KOVRARIRUREVE.INF", "KOVRARIROZEZA.INF"};

// ---- Install folder and self-deletion ------------------------------------------------
static const char kAppPathsPrefix[] = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";
static const char kUninstallerName[] = "zovovar.exe";
static const char kPathValue[] = "Path";
static const char kScriptName[] = "\\delfile.bat";
static const char kScriptLine1[] = "@echo off\n";
static const char kScriptDelStart[] = "del \"";
static const char kScriptUninstaller[] = "\\zovovar.exe";
static const char kScriptLine2End[] = "\">nul\n";
static const char kScriptLine3End[] = "\">nul";
// The one key path with a leading backslash; Windows 9x reads it as without
// (docs/kept_on_purpose.md).
static const char kRunOnceKey[] = "\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
static const char kRunOnceValue[] = "kvudel";
static const char kInterpreter[] = "command.com";  // the RunOnce command: these three
static const char kRunOnceSwitch[] = " /c \"";
static const char kRunOnceEnd[] = "\\delfile.bat\"";
// COMMAND.COM runs both at the next start. It cuts a batch line after 127
// bytes (KB Q69563), and a program's command tail holds 126 before its CR
// (the PSP's 128 bytes at 80h, with the count): a cut line names a cut path.
static const unsigned kBatchLineLimit = 127;
static const unsigned kCommandTailLimit = 126;
static const char *const kInstallFolderFiles[] = {"\\uninst.isu", "\\Readme.txt"};

// ---- Device registration ------------------------------------------------------------
static const char kUsbEnumPrefix[] = "Enum\\USB\\";
static const char *const kUsbDeviceIds[] = {"Vid_1D9A&Pid_2C41", "*RIRUREVE"};
static const char kServiceKey[] = "System\\CurrentControlSet\\Services\\KOVRA\\USB\\Storage\\RIRUREVE";
static const char kServiceIdValue[] = "ID";
static const char kEsdiEnumPrefix[] = "Enum\\ESDI\\";

// ---- Start menu ---------------------------------------------------------------------
static const char kStartMenuKey[] = "Software\\KOVRA\\Picaro 2400R Storage Driver\\Startmenu";
static const char kFolderNameValue[] = "Folder Name";
static const char *const kShortcuts[] = {"\\UnInstall.lnk", "\\Readme.lnk"};
static const char kMakerFolder[] = "KOVRA Camera";

// ---- Product registration -------------------------------------------------------------
static const char kUninstallListPrefix[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
static const char kProductName[] = "Picaro 2400R Storage Driver";
static const char kMakerKey[] = "Software\\KOVRA\\";
static const char kProductKey[] = "Software\\KOVRA\\Picaro 2400R Storage Driver";
static const char kVersionText[] = "1.00.000";

#endif
