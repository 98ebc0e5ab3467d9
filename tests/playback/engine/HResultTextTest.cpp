#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/base/ErrorReport.h"
#include "playback/engine/HResultText.h"
#include "ui/text/UiText.h"

namespace orv {
namespace {

class HResultTextTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetErrorReportHook([this](const std::string& caption, const std::string& text) {
            reports.emplace_back(caption, text);
        });
    }
    void TearDown() override {
        SetErrorReportHook({});
        g_pszCodecText = nullptr;
    }
    std::vector<std::pair<std::string, std::string>> reports;
};

TEST_F(HResultTextTest, NamesTheCodesTheEngineMeets) {
    EXPECT_EQ(HResultText(MakeHResult(0x8007000Eu)), "E_OUTOFMEMORY");
    EXPECT_EQ(HResultText(MakeHResult(0x80070057u)), "E_INVALIDARG");
    EXPECT_EQ(HResultText(MakeHResult(0x80040227u)), "VFW_E_WRONG_STATE");
    EXPECT_EQ(HResultText(MakeHResult(0x80004003u)), "E_POINTER");
    EXPECT_EQ(HResultText(MakeHResult(0x80004001u)), "E_NOTIMPL");
    EXPECT_EQ(HResultText(MakeHResult(0x80004002u)), "E_NOINTERFACE");
    EXPECT_EQ(HResultText(MakeHResult(0x80040209u)), "VFW_E_NOT_CONNECTED");
}

TEST_F(HResultTextTest, MissingCodecShowsTheCodecTextWhenThereIsOne) {
    g_pszCodecText = UiText(113);
    EXPECT_EQ(HResultText(MakeHResult(0x80040200u)), "コーデックとスプリッターをインストールしてください。");
    g_pszCodecText = "";
    EXPECT_EQ(HResultText(MakeHResult(0x80040200u)), "Unknown 0x80040200");
    g_pszCodecText = nullptr;
    EXPECT_EQ(HResultText(MakeHResult(0x80040200u)), "Unknown 0x80040200");
}

TEST_F(HResultTextTest, OtherCodesAreUnknownInLowerCaseHex) {
    EXPECT_EQ(HResultText(MakeHResult(0x80004005u)), "Unknown 0x80004005");
    EXPECT_EQ(HResultText(MakeHResult(0xC00D36C4u)), "Unknown 0xc00d36c4");
    EXPECT_EQ(HResultText(MakeHResult(0x8000FFFFu)), "Unknown 0x8000ffff");
}

TEST_F(HResultTextTest, OnlyFailuresAreReportedUnderError) {
    EXPECT_EQ(ShowHResult(S_OK), 1);
    EXPECT_EQ(ShowHResult(S_FALSE), 1);
    EXPECT_TRUE(reports.empty());

    EXPECT_EQ(ShowHResult(E_NOINTERFACE), 0);
    EXPECT_EQ(ShowHResult(MakeHResult(0x80040201u)), 0);
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[0], (std::pair<std::string, std::string>{"ERROR", "E_NOINTERFACE"}));
    EXPECT_EQ(reports[1], (std::pair<std::string, std::string>{"ERROR", "Unknown 0x80040201"}));
}

}  // namespace
}  // namespace orv
