// The program's fixed values. Nothing here is configurable at run time: the
// behaviour is set by these, by the product title in the resources, and by
// how the program was started.
#pragma once

// Name under which the reader is installed: the uninstaller's command line
// and the name of its key under "SOFTWARE\Apps".
// (AUTORUN_APP_NAME is its literal: the texts that hold it are built from it.)
#define AUTORUN_APP_NAME u"Velluma Reader ZRV"
inline constexpr char16_t AppName[] = AUTORUN_APP_NAME;
inline constexpr char16_t ReaderPath[] = u"\\Program Files\\VellumaZRV\\vellumabook.exe";

// Card folders that hold the reader's package: "2577" is the processor-type
// number of StrongARM, used on Pocket PCs; other platforms use "wince\arm".
inline constexpr char16_t PocketPcCardDir[] = u"2577";
inline constexpr char16_t DefaultCardDir[] = u"wince\\arm";

inline constexpr char16_t InstallArgument[] = u"install";
inline constexpr char16_t RemovalPath[] = u"\\Windows\\autorun.exe";
inline constexpr char16_t UninstallerPath[] = u"\\Windows\\Unload.exe";
inline constexpr char16_t AppsKey[] = u"SOFTWARE\\Apps";
inline constexpr char16_t ErrorText[] = u"Unable to find the .CAB setup program. Exiting";
inline constexpr char16_t ErrorCaption[] = u"Fatal Error";
inline constexpr char16_t EmptyArguments[] = u"";

// Windows Mobile 5 and later uninstall through the Configuration Manager: the
// library and export that carry out a provisioning document, and the document
// that has the UnInstall provider uninstall the reader.
inline constexpr unsigned ConfigurationManagerMajor = 5;
inline constexpr char16_t ConfigurationLibrary[] = u"aygshell.dll";
inline constexpr char16_t ConfigurationFunction[] = u"DMProcessConfigXML";

// clang-format off
inline constexpr char16_t UninstallDocument[] =
    u"<wap-provisioningdoc><characteristic type=\"UnInstall\">"
    u"<characteristic type=\"" AUTORUN_APP_NAME u"\"><parm name=\"uninstall\" value=\"1\"/>"
    u"</characteristic></characteristic></wap-provisioningdoc>";
// clang-format on

// String resource that holds the product title.
inline constexpr unsigned TitleStringId = 1;

// Deleting the application key: retries after the first attempt, and the
// pause before each.
inline constexpr int KeyDeleteRetries = 10;
inline constexpr unsigned KeyDeletePauseMs = 1000;
