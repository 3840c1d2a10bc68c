// The corpus helpers themselves: hashing must match the reference tool.
#include <gtest/gtest.h>

#include "corpus.h"

TEST(CorpusHelpers, Sha256KnownAnswers)
{
    EXPECT_EQ(corpus::Sha256Hex((const uint8_t*)"", 0),
              "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(corpus::Sha256Hex((const uint8_t*)"abc", 3),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    std::string million(1000000, 'a');
    EXPECT_EQ(corpus::Sha256Hex((const uint8_t*)million.data(), million.size()),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}
