// The message table and the choice of language, on both backends.
#include "app/messages.h"
#include "app/run_state.h"
#include "app/test_support.h"
#include "platform/user_locale.h"
#include "tests/support/scratch.h"

using app::GetLocalizedText;
using app::SelectLanguage;

namespace {

enum { en, de, es, fr, nb, da, sl, nl };

class MessagesTest : public ::testing::Test {
 protected:
  void SetUp() override { app::ResetRunState(); }
  const std::u16string& Text(int id, int language) {
    app::Run().language = language;
    return GetLocalizedText(id);
  }
  int Selected(const std::string& tag, int before = es) {
    app::Run().language = before;
    SelectLanguage(tag);
    return app::Run().language;
  }
  // The language the user's locale gives, or `before` when it matches none.
  int FromLocale(int before) {
    return Selected(platform::UserLocaleLanguage(49) + "-" + platform::UserLocaleCountry(49), before);
  }
};

TEST_F(MessagesTest, NonAsciiLettersAreSingleUtf16Units) {
  EXPECT_NE(Text(2, de).find(u"anschlie\u00DFen"), std::u16string::npos);
  EXPECT_NE(Text(2, sl).find(u"KON\u010CANA"), std::u16string::npos);
  EXPECT_EQ(Text(9, fr), u"ERREUR: Manque d\u2019informations de mise \u00E0 jour.");
  EXPECT_EQ(Text(11, nb), u"FEIL: \u00D8delagt Oppdaterings informasjon");
  EXPECT_EQ(Text(1, es), u"ACTUALIZACI\u00D3N DE SOFTWARE DE COLMARTE COMPANY");
  EXPECT_EQ(Text(13, fr), u"L\u2019appareil doit \u00EAtre red\u00E9marr\u00E9 pour terminer les mises \u00E0 jour");
}

TEST_F(MessagesTest, StageTextsEndInTwoBlanksExceptTwoFrenchOnes) {
  for (int id : {3, 4, 6, 7, 8, 10}) {
    for (int language = 0; language < app::kLanguageCount; ++language) {
      const std::u16string& text = Text(id, language);
      bool oneBlank = language == fr && (id == 6 || id == 10);
      SCOPED_TRACE(testing::Message() << "message " << id << " language " << language);
      ASSERT_GE(text.size(), 3u);
      std::size_t blanks = text.size() - text.find_last_not_of(u' ') - 1;
      EXPECT_EQ(blanks, oneBlank ? 1u : 2u);
    }
  }
  EXPECT_EQ(Text(6, fr), u"Suppression des anciens fichiers ");
  EXPECT_EQ(Text(10, fr), u"Verification des informations de mise \u00E0 jour ");
}

TEST_F(MessagesTest, EveryCellIsFilledAndFitsTheWindowBuffers) {
  std::size_t longest = 0;
  for (int id = 1; id < app::kMessageCount; ++id) {
    for (int language = 0; language < app::kLanguageCount; ++language) {
      const std::u16string& text = Text(id, language);
      EXPECT_FALSE(text.empty());
      EXPECT_EQ(text.find(u'%'), std::u16string::npos) << "texts are used as formats";
      longest = std::max(longest, text.size());
    }
  }
  // German message 2: 351 UTF-16 units (356 bytes as UTF-8), within the 400-unit buffers.
  EXPECT_EQ(longest, 351u);
  for (int language = 0; language < app::kLanguageCount; ++language) {
    EXPECT_NE(Text(9, language).back(), u' ');
    EXPECT_NE(Text(11, language).back(), u' ');
    EXPECT_EQ(Text(5, language).substr(0, 4), u"\r\n\r\n");
    EXPECT_EQ(Text(12, language).substr(0, 2), u"\r\n");
  }
  EXPECT_EQ(Text(12, en), u"\r\nSoftware update must be initiated via the Maintenance Menu.");
  EXPECT_EQ(Text(11, es), u"ERROR: Informaci\u00F3n de actualizaci\u00F3n coruupta");
}

TEST_F(MessagesTest, CellsThatRepeatAnotherLanguage) {
  EXPECT_EQ(Text(1, sl), u"COLMARTE COMPANY SOFTWARE UPDATE");
  EXPECT_EQ(Text(1, nl), u"COLMARTE COMPANY SOFTWARE UPDATE");
  EXPECT_EQ(Text(3, nb), u"Kopierer Filer  ");
  EXPECT_EQ(Text(3, da), u"Kopierer Filer  ");
  EXPECT_EQ(Text(3, nl), u"Kopierer Filer  ");
  EXPECT_EQ(Text(3, sl), u"KOPIRANJE DATOTEK  ");
  EXPECT_EQ(Text(2, sl).substr(0, 20), u"NE ODKLOPITE POLNILN");
  EXPECT_EQ(Text(0, nl), u"nl");
}

TEST_F(MessagesTest, TagsMatchWholeThenByTheirFirstTwoLetters) {
  EXPECT_EQ(Selected("de"), de);
  EXPECT_EQ(Selected("de-CH"), de);
  EXPECT_EQ(Selected("nb-NO"), nb);
  EXPECT_EQ(Selected("english"), en);
  EXPECT_EQ(Selected("sl"), sl);
  EXPECT_EQ(Selected("nl-BE", en), nl);
}

TEST_F(MessagesTest, TagsThatDoNotMatchFallToTheUserLocale) {
  for (const char* tag : {"DE", "no-NO", "pt-BR", "", "d", "\xE9s"}) {
    SCOPED_TRACE(tag);
    EXPECT_EQ(Selected(tag, es), FromLocale(es));
    EXPECT_EQ(Selected(tag, sl), FromLocale(sl));
  }
}

}  // namespace
