#include "platform/services.h"

#include <gtest/gtest.h>

namespace {
struct Counting : plat::Services {
    int boxes = 0;
    int MessageBox(QWidget*, const std::string&, const std::optional<std::string>&, unsigned) override {
        return ++boxes, plat::IDYES;
    }
    std::string AskFileName(QWidget*, bool, const std::string&, const std::string&, const std::string&) override {
        return "f";
    }
    std::string BrowseForFolder(QWidget*, const std::string&) override { return "d"; }
    void ShellOpen(const std::string&, bool) override {}
    void Sleep(int) override {}
};
}  // namespace

TEST(Services, SilentDefaultTakesTheSafeAnswerAndCanBeReplaced) {
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(plat::Svc().MessageBox(nullptr, "saved", std::nullopt, plat::MB_OK | plat::MB_ICONINFORMATION),
              plat::IDOK);
    EXPECT_EQ(plat::Svc().MessageBox(nullptr, "delete?", "Q", plat::MB_YESNO | plat::MB_ICONQUESTION), plat::IDNO);
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("saved"), std::string::npos);
    EXPECT_NE(err.find("delete?"), std::string::npos);
    EXPECT_EQ(plat::Svc().AskFileName(nullptr, true, ".xsl", "", "XSLT File|*.xsl|"), "");
    EXPECT_EQ(plat::Svc().BrowseForFolder(nullptr, "t"), "");

    Counting counting;
    plat::Services* before = plat::SetServices(&counting);
    EXPECT_EQ(plat::Svc().MessageBox(nullptr, "x", std::nullopt, plat::MB_YESNO), plat::IDYES);
    EXPECT_EQ(counting.boxes, 1);
    EXPECT_EQ(plat::SetServices(before), &counting);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(plat::Svc().MessageBox(nullptr, "x", std::nullopt, plat::MB_YESNO), plat::IDNO);
    ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(counting.boxes, 1);
}
