// A job context with its output path ready, as OutputInitTwo leaves it, for
// tests of the operations that append printer commands.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "kzrqo317/platform.h"
#include "output/buffer_list.h"
#include "platform/fault_injection.h"

namespace kz::test {

class OutputFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ctxHandle = KRVSNewHNDL(sizeof(OutputContext));
        ctx = static_cast<OutputContext*>(KRVSLockHNDL(ctxHandle));
        ctx->HeadType = 0x2470;
        ctx->BlockWidth = 128;
        ctx->DataInfoRecHandle = KRVSNewHNDL(sizeof(DataInfoRecord));
        record()->DataInfoHandle = KRVSNewHNDL(sizeof(DataInfo));
        ctx->BufList.BufHandle = KRVSNewHNDL(kOutputBlockSize);
        FormatBufList(ctx);
    }

    void TearDown() override {
        platform::resetFaults();
        AllLockBufLst(&ctx->BufList);
        for (uint32_t h = ctx->BufList.NextHandle; h != 0;) {
            auto* node = static_cast<BufListNode*>(KRVSLockHNDL(h));
            const uint32_t next = node->NextHandle;
            KRVSDisposeHNDL(&node->BufHandle);
            KRVSDisposeHNDL(&h);
            h = next;
        }
        KRVSDisposeHNDL(&ctx->DataListHandle);
        KRVSDisposeHNDL(&ctx->BufList.BufHandle);
        KRVSDisposeHNDL(&record()->DataInfoHandle);
        KRVSDisposeHNDL(&ctx->DataInfoRecHandle);
        KRVSDisposeHNDL(&ctxHandle);
    }

    DataInfoRecord* record() { return static_cast<DataInfoRecord*>(KRVSLockHNDL(ctx->DataInfoRecHandle)); }

    // The bytes appended so far, block after block.
    std::vector<uint8_t> output() const {
        std::vector<uint8_t> bytes;
        for (const BufListNode* n = &ctx->BufList; n != nullptr; n = n->NextNode) {
            if (n->BufTop != nullptr) bytes.insert(bytes.end(), n->BufTop, n->BufPtr);
        }
        return bytes;
    }

    uint32_t ctxHandle = 0;
    OutputContext* ctx = nullptr;
};

}  // namespace kz::test
