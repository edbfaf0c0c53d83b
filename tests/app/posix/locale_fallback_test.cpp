// The fallback to the user's locale, with the simulated user's locale set.
#include <stdlib.h>

#include "app/messages.h"
#include "app/run_state.h"
#include "app/test_support.h"
#include "tests/support/scratch.h"

namespace {

class LocaleFallbackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    app::ResetRunState();
    const char* all = getenv("LC_ALL");
    saved_ = all ? all : "";
  }
  void TearDown() override {
    if (saved_.empty()) unsetenv("LC_ALL"); else setenv("LC_ALL", saved_.c_str(), 1);
  }
  int Selected(const char* tag, const char* locale) {
    setenv("LC_ALL", locale, 1);
    app::ResetRunState();
    app::SelectLanguage(tag);
    return app::Run().language;
  }
  std::string saved_;
};

TEST_F(LocaleFallbackTest, TheLocaleDecidesWhenTheTagDoesNot) {
  EXPECT_EQ(Selected("FR", "fr_FR.UTF-8"), 3);
  EXPECT_EQ(Selected("", "da_DK.UTF-8"), 5);
  EXPECT_EQ(Selected("x", "nb_NO"), 4);
  EXPECT_EQ(Selected("de", "fr_FR.UTF-8"), 1) << "a matching tag wins";
  EXPECT_EQ(Selected("pt-BR", "pt_BR.UTF-8"), 0) << "no match leaves English";
  app::Run().language = 6;
  app::SelectLanguage("zz");
  EXPECT_EQ(app::Run().language, 6) << "unless the locale matches, the language stays";
}

}  // namespace
