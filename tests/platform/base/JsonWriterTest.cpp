#include "platform/base/JsonWriter.h"

#include <gtest/gtest.h>

#include "platform/base/PathUtil.h"

namespace orv {
namespace {

TEST(JsonWriterTest, StringsAreAlwaysValidUtf8) {
    JsonWriter j;
    // A valid character, a UTF-16 surrogate, an overlong '/', a value past U+10FFFF and a
    // cut sequence: only the first stays as it is.
    j.String("録\xED\xA0\x80\xC0\xAF\xF4\x90\x80\x80\xE3\x81");
    EXPECT_TRUE(IsValidUtf8(j.str())) << j.str();
    EXPECT_EQ(j.str(),
              "\"録\\u00ed\\u00a0\\u0080\\u00c0\\u00af\\u00f4\\u0090\\u0080\\u0080\\u00e3\\u0081\"");
}

}  // namespace
}  // namespace orv
