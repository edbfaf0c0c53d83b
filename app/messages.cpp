#include "app/messages.h"

#include "app/run_state.h"
#include "platform/text.h"
#include "platform/user_locale.h"

namespace app {
namespace {

// Row = message id, column = language: en, de, es, fr, nb, da, sl, nl.
const std::u16string kMessages[kMessageCount][kLanguageCount] = {
    // 0: language codes, used only to match tags
    {u"en", u"de", u"es", u"fr", u"nb", u"da", u"sl", u"nl"},
    // 1: title: window caption and first line of the progress text
    {
        u"COLMARTE COMPANY SOFTWARE UPDATE",
        u"COLMARTE GMBH UPDATE",
        u"ACTUALIZACIÓN DE SOFTWARE DE COLMARTE COMPANY",
        u"MISE À JOUR DU LOGICIEL PAR COLMARTE COMPANY",
        u"COLMARTE COMPANY PROGRAMOPPDATERING",
        u"COLMARTE COMPANY SOFTWARE OPDATERING",
        u"COLMARTE COMPANY SOFTWARE UPDATE",  // sl: same text as en
        u"COLMARTE COMPANY SOFTWARE UPDATE",  // nl: same text as en
    },
    // 2: warning, shown only on the device
    {
        u"DO NOT UNPLUG THE BATTERY CHARGER OR DO ANYTHING WITH THE DEVICE UNTIL THE UPDATE HAS COMPLETED.\r\n\r\nDURING SOME STAGES OF THE UPDATE THE PROGRESS INDICATORS BELOW MAY NOT CHANGE FOR MORE THAN 30 MINUTES.\r\n\r\nDO NOT RESET THE DEVICE, WAIT UNTIL THE UPDATE HAS FINISHED.\r\n\r\n",
        u"Keinesfalls das Netzteil abziehen, den Vuzevo ausschalten oder etwas an den Vuzevo anschließen, solange das Update läuft.\r\n\r\nDas Prüfen der Updatedatei kann 30 Minuten oder länger dauern, ohne dass neue Meldungen im Display erscheinen.\r\n\r\nBitte haben Sie Geduld und brechen Sie das Update nicht ab, da der Vuzevo dadurch unbrauchbar werden könnte.\r\n\r\n",
        u"NO DESCONECTE EL CARGADOR DE BATERÍAS NI HAGA NADA CON EL DISPOSITIVO HASTA QUE LA ACTUALIZACIÓN SE HAYA COMPLETADO.\r\n\r\nEN ALGUNOS MOMENTOS DE LA ACTUALIZACIÓN EL INDICADOR DE PROGRESO PODRÍA NO CAMBIAR DURANTE MÁS DE 30 MINUTOS.\r\n\r\nNO REINICIE EL DISPOSITIVO Y ESPERE HASTA QUE LA ACTUALIZACIÓN HAYA FINALIZADO.\r\n\r\n",
        u"NE PAS DEBRANCHER LE CHARGEUR DE BATTERIE OU FAIRE QUOI QUE CE SOIT AVEC L'APPAREIL TANT QUE LA MISE À JOUR N'EST PAS TERMINÉE.\r\n\r\nDURANT CERTAINES ÉTAPES DE LA MISE À JOUR, L'INDICATEUR DE PROGRESSION PEUT RESTER FIGÉ DURANT PARFOIS PLUS DE 30 MINUTES.\r\n\r\nNE FAITES PAS DE 'RESET', ATTENDEZ QUE LA MISE A JOUR SOIT TERMINÉE !\r\n\r\n",
        u"IKKE KOBLE UT BATTERILADEREN ELLER GJØR NOE MED ENHETEN FØR OPPDATERINGEN ER FULLFØRT.\r\n\r\nUNDER ENKELTE STADIER AV OPPDATERINGEN VIL FRAMDRIFTSINDIKATORENE NEDENFOR KANSKJE IKKE ENDRE SEG PÅ MINST 30 MINUTTER.\r\n\r\nIKKE TILBAKESTILL ENHETEN, MEN VENT TIL OPPDATERINGEN ER FERDIG.\r\n\r\n",
        u"RØR IKKE ENHEDEN OG LAD OPLADEREN VÆRE TILSLUTTET INDTIL OPDATERINGEN ER FULDFØRT.\r\n\r\nUNDER OPDATERINGEN KAN PROCESINDIKATOREN STÅ STILLE I MERE END 30 MINUTTER.\r\n\r\nDU SKAL IKKE NULSTILLE ENHEDEN - VENT PÅ AT OPDATERINGEN FULDFØRES.\r\n\r\n",
        u"NE ODKLOPITE POLNILNIKA ZA BATERIJE ALI DELAJTE Z NAPRAVO DOKLER NI KONČANA POSODOBITEV\r\n\r\nPosodobitev lahko traja več kot 30 minut in v tem času ne bo spremembe.\r\n\r\nNE resetirajte naprave, počakajte, da je posodobitev končana.\r\n\r\n",
        u"KOPPEL DE ACCULADER NIET LOS EN DOE NIETS IETS ANDERS MET HET APPARAAT VOORDAT DE UPDATE IS VOLTOOID.\r\n\r\nGEDURENDE HET UPDATE-PROCES IS HET MOGELIJK DAT DE VOORTGANGSINDICATOREN HIERONDER NIET VERANDEREN GEDURENDE 30 MINUTEN.\r\n\r\n",
    },
    // 3: stage 3: copying files
    {
        u"Copying Files  ",
        u"Kopiere Dateien  ",
        u"Copiando archivos  ",
        u"Copie des fichiers  ",
        u"Kopierer Filer  ",
        u"Kopierer Filer  ",  // da: same text as nb
        u"KOPIRANJE DATOTEK  ",
        u"Kopierer Filer  ",  // nl: same text as nb
    },
    // 4: stage 4: package complete
    {
        u"Complete  ",
        u"Update durchgeführt.  ",
        u"Completado  ",
        u"Terminé  ",
        u"Ferdig  ",
        u"Fuldført  ",
        u"KONČANO  ",
        u"Voltooid  ",
    },
    // 5: end of the update, before the window closes
    {
        u"\r\n\r\nThe update is complete. Good-Bye\r\n",
        u"\r\n\r\nUpdate durchgeführt. Auf Wiedersehen!\r\n",
        u"\r\n\r\nLa actualización se ha completado. Adiós\r\n",
        u"\r\n\r\nLa mise à jour est terminée. Merci de votre patience !\r\n",
        u"\r\n\r\nOppdateringen er ferdig. Farvel\r\n",
        u"\r\n\r\nOpdateringen er fuldført. Farvel\r\n",
        u"\r\n\r\nPosodobitev je končana. Nasvidenje\r\n",
        u"\r\n\r\nDe update is voltooid. Tot ziens\r\n",
    },
    // 6: stage 6: deleting old files and folders
    {
        u"Deleting Old Files and Folders  ",
        u"Alte Dateien und Ordner werden gelöscht  ",
        u"Borrando archivos y carpetas antiguas  ",
        u"Suppression des anciens fichiers ",
        u"Sletter gamle Filer og Mapper  ",
        u"Sletter gamle filer og mapper  ",
        u"BRISANJE STARIH DATOTEK IN MAP  ",
        u"Oude bestanden en mappen worden verwijderd  ",
    },
    // 7: stage 7: creating new folders
    {
        u"Creating New Folders  ",
        u"Neue Ordner werden gebildet  ",
        u"Creando nuevas carpetas  ",
        u"Création des nouveaux dossiers  ",
        u"Danner nye Mapper  ",
        u"Opretter nye mapper  ",
        u"USTVARJANJE NOVIH MAP  ",
        u"Nieuwe mappen worden aangemaakt  ",
    },
    // 8: stage 8: reading the package tables
    {
        u"Loading Update Information  ",
        u"Update-Daten werden geladen  ",
        u"Cargando información de la actualización  ",
        u"Chargement des informations de mise à jour  ",
        u"Laster Oppdaterings informasjon  ",
        u"Indlæser opdateringsinformation  ",
        u"NALAGANJE INFORMACIJ POSODOBITEV  ",
        u"Update informatie wordt geladen  ",
    },
    // 9: error: package cannot be opened, mapped or read
    {
        u"ERROR: Update Information Missing.",
        u"FEHLER: Fehlende Update-Daten.",
        u"ERROR: Información sobre la actualización no encontrada.",
        u"ERREUR: Manque d’informations de mise à jour.",
        u"FEIL: Oppdaterings informasjon mangler.",
        u"FEJL: Opdateringsinformation mangler.",
        u"NAPAKA: MANJKA INFORMACIJA ZA POSODOBITEV.",
        u"FOUT: Update informatie ontbreekt.",
    },
    // 10: stage 10: verifying the package
    {
        u"Verifying Update Information  ",
        u"Update Informationen werden geprüft  ",
        u"Verificando la información sobre la actualización  ",
        u"Verification des informations de mise à jour ",
        u"Verifiserer Oppdaterings informasjonen  ",
        u"Bekræfter opdateringsinformation  ",
        u"PREVERJANJE INFORMACIJ ZA POSODOBITEV  ",
        u"Update informatie wordt gecontroleerd  ",
    },
    // 11: error: package checksum differs
    {
        u"ERROR: Corrupt Update Information",
        u"FEHLER: Beschädigte Update-Daten",
        u"ERROR: Información de actualización coruupta",
        u"ERREUR: Informations de mise à jour corrompues",
        u"FEIL: Ødelagt Oppdaterings informasjon",
        u"Fejl: Forkert opdateringsinformation",
        u"NAPAKA: POŠKODOVANA INFORMACIJA ZA POSODOBITEV",
        u"FOUT: Corrupte update informatie",
    },
    // 12: refusal: started without a process id
    {
        u"\r\nSoftware update must be initiated via the Maintenance Menu.",
        u"\r\nDas Orvanta-Update muss im Menü SYSTEM gestartet werden.",
        u"\r\nLa actualización de software se debe iniciar desde el Menú de Mantenimiento.",
        u"\r\nLa mise à jour logicielle doit être lancée depuis le MENU SYSTÈME.",
        u"\r\nProgramoppdateringen må initieres via Vedlikeholds menyen.",
        u"\r\nSoftwareopdateringer skal startes fra System-menuen.",
        u"\r\nPOSODOBITEV JE TREBA ZAČETI PREKO MENIJA ZA VZDRŽEVANJE.",
        u"\r\nSoftware update moet gestart worden in het Onderhoudsmenu.",
    },
    // 13: restart prompt: text of the message box
    {
        u"You must restart your computer for updates to complete.",
        u"Zum Abschluss des Updates muss der Computer neu gestartet werden.",
        u"Debe reiniciar su ordenador para completar las actualizaciones.",
        u"L’appareil doit être redémarré pour terminer les mises à jour",
        u"Du må starte datamaskinen på nytt etter oppdateringer for å fullføre .",
        u"Du skal genstarte din computer for at opdateringen kan fuldføres.",
        u"Ponovno zaženite računalnik za dokončanje posodobitve.",
        u"U dient uw computer opnieuw te starten om de updates af te ronden.",
    },
    // 14: restart prompt: caption of the message box
    {
        u"Please Restart",
        u"Bitte führen Sie einen Neustart aus.",
        u"Por favor, reinicie",
        u"Veuillez redémarrer",
        u"Start på nytt",
        u"Genstart nu",
        u"Znova zaženite",
        u"Opnieuw starten a.u.b.",
    },
};

// The locale names are read into buffers of 50 characters.
constexpr std::size_t kLocaleNameLimit = 49;

// The language of a tag or of its first two letters, or -1.
int FindLanguage(const std::string& text) {
  std::u16string wide = platform::NarrowToWide(text);
  for (const std::u16string& candidate : {wide, wide.substr(0, 2)}) {
    for (int language = 0; language < kLanguageCount; ++language) {
      if (candidate == kMessages[0][language]) return language;
    }
  }
  return -1;
}

bool MatchLanguage(const std::string& text) {
  int language = FindLanguage(text);
  if (language >= 0) Run().language = language;
  return language >= 0;
}

}  // namespace

bool HasLanguage(const std::string& tag) { return FindLanguage(tag) >= 0; }

void SelectLanguage(const std::string& tag) {
  if (MatchLanguage(tag)) return;
  std::string locale = platform::UserLocaleLanguage(kLocaleNameLimit) + "-" +
                       platform::UserLocaleCountry(kLocaleNameLimit);
  MatchLanguage(locale);
}

const std::u16string& GetLocalizedText(int id) { return kMessages[id][Run().language]; }

}  // namespace app
