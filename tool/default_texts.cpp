#include "tool/default_texts.h"

namespace pvx::tool {

namespace {

// "%s" stands only where the runtime fills something in: 8 (drive letter),
// 48 (disk number) and 99 (file name, then folder).
const char* const kEnglish[kLanguageStringCount] = {
    /* 1 */ "Welcome to the Setup Wizard",
    /* 2 */ "This wizard guides you through the installation of the program.\r\n\r\n"
            "Please close all other programs before you go on.\r\n\r\n"
            "Click Next to continue or Cancel to leave Setup.",
    /* 3 */ "Setup will place the program in the folder below. To choose a different folder, "
            "click Browse.\r\n\r\nThe installation needs this much free disk space:",
    /* 4 */ "Setup now has everything it needs. Click Install to begin, or Back to review "
            "your choices.",
    /* 5 */ "Please wait while the program is being installed on your computer.",
    /* 6 */ "Setup Complete",
    /* 7 */ "The program has been installed on your computer.\r\n\r\nClick Finish to close Setup.",
    /* 8 */ "There is not enough free space on drive %s. Please free some space or choose "
            "another folder.",
    /* 9 */ "Licence Agreement",
    /* 10 */ "Please read the following terms before you install the program.",
    /* 11 */ "Destination Folder",
    /* 12 */ "Where should the program be installed?",
    /* 13 */ "Where should Setup place the program's shortcuts?",
    /* 14 */ "Program Group and Shortcuts",
    /* 15 */ "Which additional shortcuts would you like?",
    /* 16 */ "Ready to Install",
    /* 17 */ "The program is being installed.",
    /* 18 */ "Please read the licence agreement. Press Page Down to see the rest of it.",
    /* 19 */ "Setup will create the program's shortcuts in the program group below. You may "
             "type a new name or pick an existing group.",
    /* 20 */ "Start the program now",
    /* 21 */ "Show the readme file",
    /* 22 */ "I &Agree",
    /* 23 */ "&Next >",
    /* 24 */ "< &Back",
    /* 25 */ "Cancel",
    /* 26 */ "&Install",
    /* 27 */ "B&rowse...",
    /* 28 */ "Do not create shortcuts in a program group",
    /* 29 */ "Destination Folder",
    /* 30 */ "Program group",
    /* 31 */ "Create a desktop shortcut",
    /* 32 */ "Create a Start menu shortcut",
    /* 33 */ "Create a Quick Launch shortcut",
    /* 34 */ "Information",
    /* 35 */ "Copying: ",
    /* 36 */ "Cannot create the file: ",
    /* 37 */ "Writing registry entries...",
    /* 38 */ "Creating shortcuts...",
    /* 39 */ "Saving uninstall information...",
    /* 40 */ "Finishing the installation...",
    /* 41 */ "&Finish",
    /* 42 */ "Not Enough Disk Space",
    /* 43 */ "Destination folder:\r\n",
    /* 44 */ "Program group:\r\n",
    /* 45 */ "Additional shortcuts:\r\n",
    /* 46 */ "Setup is not finished yet. Do you really want to leave it?",
    /* 47 */ "Next Disk",
    /* 48 */ "Please insert disk %s and click OK.",
    /* 49 */ "Choose the destination folder:",
    /* 50 */ "Choose the shortcuts that Setup should create for you, then click Next.",
    /* 51 */ "Extracting files...",
    /* 52 */ "This program cannot be installed on your version of Windows. It runs on: ",
    /* 53 */ "Setup",
    /* 54 */ "Setup",
    /* 55 */ "Setup",
    /* 56 */ "Setup",
    /* 57 */ "Running programs...",
    /* 58 */ "Registering: ",
    /* 59 */ "The installation was stopped. The program has not been installed completely.",
    /* 60 */ "Writing settings files...",
    /* 61 */ "Installing",
    /* 62 */ "Setup is ready to install the program on your computer.",
    /* 63 */ "This removes the program and all of its parts from your computer. Click Remove "
             "to go on.",
    /* 64 */ "&Remove",
    /* 65 */ "Removing from:",
    /* 66 */ "Restart the computer now",
    /* 67 */ "I will restart the computer later",
    /* 68 */ "Remove the Program",
    /* 69 */ "Remove the program from your computer.",
    /* 70 */ "Removal Complete",
    /* 71 */ "The Program Has Been Removed",
    /* 72 */ "The program was removed from your computer.",
    /* 73 */ "Removing file: ",
    /* 74 */ "Please wait while the program is being removed.",
    /* 75 */ "Removing folder: ",
    /* 76 */ "Click Finish to close this wizard.",
    /* 77 */ "Do you really want to stop removing the program?",
    /* 78 */ "Unregistering: ",
    /* 79 */ "The program has been installed. Your computer must be restarted before you can "
             "use it.",
    /* 80 */ "Creating folders...",
    /* 81 */ "Visit the program's web site",
    /* 82 */ "Please read the following information before you go on.",
    /* 83 */ "Setup Has Finished",
    /* 84 */ "Visit the web site",
    /* 85 */ "You need administrator rights to install this program. Please log on as an "
             "administrator and start Setup again.",
    /* 86 */ "This program needs the Microsoft .NET Framework, which is not installed in the "
             "required version.",
    /* 87 */ "Would you like to download it now?",
    /* 88 */ "This file already exists:",
    /* 89 */ "Existing file:",
    /* 90 */ "New file:",
    /* 91 */ "&Replace",
    /* 92 */ "Replace &All",
    /* 93 */ "&Skip",
    /* 94 */ "S&kip All",
    /* 95 */ "The following file could not be written: ",
    /* 96 */ "Click Retry to try again, Ignore to skip this file, or Abort to stop the "
             "installation.",
    /* 97 */ "Where is the next disk?",
    /* 98 */ "Look in this folder:",
    /* 99 */ "The file %s was not found in %s. Please choose the folder that holds it.",
};

const char* const kGerman[kLanguageStringCount] = {
    /* 1 */ "Willkommen beim Setup-Assistenten",
    /* 2 */ "Dieser Assistent führt Sie durch die Installation des Programms.\r\n\r\n"
            "Bitte schließen Sie alle anderen Programme, bevor Sie fortfahren.\r\n\r\n"
            "Klicken Sie auf Weiter, um fortzufahren, oder auf Abbrechen, um Setup zu "
            "verlassen.",
    /* 3 */ "Setup legt das Programm im folgenden Ordner ab. Um einen anderen Ordner zu "
            "wählen, klicken Sie auf Durchsuchen.\r\n\r\nDie Installation braucht so viel "
            "freien Speicherplatz:",
    /* 4 */ "Setup hat nun alle Angaben. Klicken Sie auf Installieren, um zu beginnen, oder "
            "auf Zurück, um Ihre Auswahl zu prüfen.",
    /* 5 */ "Bitte warten Sie, während das Programm auf Ihrem Computer installiert wird.",
    /* 6 */ "Setup abgeschlossen",
    /* 7 */ "Das Programm wurde auf Ihrem Computer installiert.\r\n\r\nKlicken Sie auf "
            "Fertigstellen, um Setup zu schließen.",
    /* 8 */ "Auf Laufwerk %s ist nicht genug Platz frei. Bitte schaffen Sie Platz oder "
            "wählen Sie einen anderen Ordner.",
    /* 9 */ "Lizenzvereinbarung",
    /* 10 */ "Bitte lesen Sie die folgenden Bedingungen, bevor Sie das Programm installieren.",
    /* 11 */ "Zielordner",
    /* 12 */ "Wohin soll das Programm installiert werden?",
    /* 13 */ "Wo soll Setup die Verknüpfungen des Programms ablegen?",
    /* 14 */ "Programmgruppe und Verknüpfungen",
    /* 15 */ "Welche zusätzlichen Verknüpfungen möchten Sie?",
    /* 16 */ "Bereit zur Installation",
    /* 17 */ "Das Programm wird installiert.",
    /* 18 */ "Bitte lesen Sie die Lizenzvereinbarung. Mit Bild-ab sehen Sie den Rest.",
    /* 19 */ "Setup legt die Verknüpfungen des Programms in der folgenden Programmgruppe an. "
             "Sie können einen neuen Namen eingeben oder eine bestehende Gruppe wählen.",
    /* 20 */ "Programm jetzt starten",
    /* 21 */ "Liesmich-Datei anzeigen",
    /* 22 */ "Ich &stimme zu",
    /* 23 */ "&Weiter >",
    /* 24 */ "< &Zurück",
    /* 25 */ "Abbrechen",
    /* 26 */ "&Installieren",
    /* 27 */ "&Durchsuchen...",
    /* 28 */ "Keine Verknüpfungen in einer Programmgruppe anlegen",
    /* 29 */ "Zielordner",
    /* 30 */ "Programmgruppe",
    /* 31 */ "Verknüpfung auf dem Desktop anlegen",
    /* 32 */ "Verknüpfung im Startmenü anlegen",
    /* 33 */ "Verknüpfung in der Schnellstartleiste anlegen",
    /* 34 */ "Information",
    /* 35 */ "Kopiere: ",
    /* 36 */ "Datei kann nicht angelegt werden: ",
    /* 37 */ "Schreibe Registrierungseinträge...",
    /* 38 */ "Lege Verknüpfungen an...",
    /* 39 */ "Speichere Deinstallationsdaten...",
    /* 40 */ "Schließe die Installation ab...",
    /* 41 */ "&Fertigstellen",
    /* 42 */ "Zu wenig Speicherplatz",
    /* 43 */ "Zielordner:\r\n",
    /* 44 */ "Programmgruppe:\r\n",
    /* 45 */ "Zusätzliche Verknüpfungen:\r\n",
    /* 46 */ "Setup ist noch nicht fertig. Möchten Sie es wirklich verlassen?",
    /* 47 */ "Nächster Datenträger",
    /* 48 */ "Bitte legen Sie Datenträger %s ein und klicken Sie auf OK.",
    /* 49 */ "Wählen Sie den Zielordner:",
    /* 50 */ "Wählen Sie die Verknüpfungen, die Setup anlegen soll, und klicken Sie dann auf "
             "Weiter.",
    /* 51 */ "Entpacke Dateien...",
    /* 52 */ "Dieses Programm kann auf Ihrer Windows-Version nicht installiert werden. Es "
             "läuft unter: ",
    /* 53 */ "Setup",
    /* 54 */ "Setup",
    /* 55 */ "Setup",
    /* 56 */ "Setup",
    /* 57 */ "Starte Programme...",
    /* 58 */ "Registriere: ",
    /* 59 */ "Die Installation wurde abgebrochen. Das Programm ist nicht vollständig "
             "installiert.",
    /* 60 */ "Schreibe Einstellungsdateien...",
    /* 61 */ "Installation",
    /* 62 */ "Setup kann das Programm jetzt auf Ihrem Computer installieren.",
    /* 63 */ "Hiermit entfernen Sie das Programm mit allen Teilen von Ihrem Computer. Klicken "
             "Sie auf Entfernen, um fortzufahren.",
    /* 64 */ "&Entfernen",
    /* 65 */ "Entferne aus:",
    /* 66 */ "Computer jetzt neu starten",
    /* 67 */ "Ich starte den Computer später neu",
    /* 68 */ "Programm entfernen",
    /* 69 */ "Das Programm von Ihrem Computer entfernen.",
    /* 70 */ "Entfernen abgeschlossen",
    /* 71 */ "Das Programm wurde entfernt",
    /* 72 */ "Das Programm wurde von Ihrem Computer entfernt.",
    /* 73 */ "Entferne Datei: ",
    /* 74 */ "Bitte warten Sie, während das Programm entfernt wird.",
    /* 75 */ "Entferne Ordner: ",
    /* 76 */ "Klicken Sie auf Fertigstellen, um den Assistenten zu schließen.",
    /* 77 */ "Möchten Sie das Entfernen des Programms wirklich abbrechen?",
    /* 78 */ "Melde ab: ",
    /* 79 */ "Das Programm wurde installiert. Ihr Computer muss neu gestartet werden, bevor Sie "
             "es benutzen können.",
    /* 80 */ "Lege Ordner an...",
    /* 81 */ "Die Website des Programms besuchen",
    /* 82 */ "Bitte lesen Sie die folgenden Hinweise, bevor Sie fortfahren.",
    /* 83 */ "Setup ist fertig",
    /* 84 */ "Die Website besuchen",
    /* 85 */ "Für die Installation dieses Programms brauchen Sie Administratorrechte. Bitte "
             "melden Sie sich als Administrator an und starten Sie Setup erneut.",
    /* 86 */ "Dieses Programm braucht das Microsoft .NET Framework, das nicht in der nötigen "
             "Version installiert ist.",
    /* 87 */ "Möchten Sie es jetzt herunterladen?",
    /* 88 */ "Diese Datei gibt es bereits:",
    /* 89 */ "Vorhandene Datei:",
    /* 90 */ "Neue Datei:",
    /* 91 */ "&Ersetzen",
    /* 92 */ "&Alle ersetzen",
    /* 93 */ "Ü&berspringen",
    /* 94 */ "A&lle überspringen",
    /* 95 */ "Die folgende Datei konnte nicht geschrieben werden: ",
    /* 96 */ "Klicken Sie auf Wiederholen, um es erneut zu versuchen, auf Ignorieren, um die "
             "Datei auszulassen, oder auf Abbrechen, um die Installation zu beenden.",
    /* 97 */ "Wo ist der nächste Datenträger?",
    /* 98 */ "In diesem Ordner suchen:",
    /* 99 */ "Die Datei %s wurde in %s nicht gefunden. Bitte wählen Sie den Ordner, in dem "
             "sie liegt.",
};

const BuiltinLanguage kBuiltins[] = {
    {"english", "English", 1033},
    {"german", "Deutsch (German)", 1031},
};

}  // namespace

const BuiltinLanguage* FindBuiltinLanguage(const std::string& key) {
  for (const BuiltinLanguage& language : kBuiltins)
    if (key == language.key) return &language;
  return nullptr;
}

LanguageStrings BuiltinStrings(const BuiltinLanguage& language) {
  const char* const* texts = std::string(language.key) == "german" ? kGerman : kEnglish;
  LanguageStrings out;
  for (int i = 0; i < kLanguageStringCount; ++i) out[i] = texts[i];
  return out;
}

}  // namespace pvx::tool
