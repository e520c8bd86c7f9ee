#include "history/chain_head.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vexo {
namespace {

TEST(ChainHead, ReadsBackOnlyWhatItPrints) {
  const std::string digest(64, 'c');
  const ChainHead head{42, digest};
  EXPECT_EQ(ChainHead::Parse(head.Text()), head);
  EXPECT_EQ(ChainHead::Parse("42:" + std::string(64, 'C')), head);  // copied in capitals
  EXPECT_EQ(ChainHead::Parse("0:"), (ChainHead{0, ""}));
  const std::vector<std::string> bad_heads = {"",
                                              ":" + digest,
                                              "x:" + digest,
                                              "-1:" + digest,
                                              "42" + digest,
                                              "42:" + digest.substr(1),
                                              "42:" + digest + "0",
                                              "42:" + std::string(63, 'c') + "g",
                                              "0:" + digest,
                                              "1:"};
  for (const std::string& bad : bad_heads) {
    EXPECT_FALSE(ChainHead::Parse(bad)) << bad;
  }
}

}  // namespace
}  // namespace vexo
