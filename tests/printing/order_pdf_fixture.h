// A fresh store and a PDF file for one print-job test, with the store's
// order book as the order's source. Skipped without pdftotext. A fixture deriving from it calls OrderPdfTest::SetUp() first
// and returns when that skipped or failed.
#pragma once

#include "clock.h"
#include "dialogs.h"
#include "order_book_source.h"
#include "pdf_text.h"
#include "photo_store.h"
#include "print_info.h"
#include "print_job.h"
#include "program_folder.h"
#include "recording_dialogs.h"
#include "sandbox.h"
#include "settings.h"

#include <gtest/gtest.h>

#include <memory>

namespace kestova::test {

class OrderPdfTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!HavePdfToText())
            GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
        sandbox.createStore();
        store = PhotoStore::Open(DataMdbPath());
        ASSERT_TRUE(store);
        ASSERT_TRUE(MarkCounted(*store));
        pdf = sandbox.path(QStringLiteral("order.pdf"));
    }
    bool Stopped() const { return IsSkipped() || HasFatalFailure(); }

    // Made at first use, so that a test may change the settings before.
    OrderBookSource &Source()
    {
        if (!source)
            source = std::make_unique<OrderBookSource>(*store, settings);
        return *source;
    }

    // The counted totals as an order under info's note number, taken from
    // no order book: prepared, then printed as the order book's orders are.
    PrintJobResult PrintCounted(PrintTarget &target)
    {
        QString refusal;
        bool bookDown = false;
        const std::optional<OrderContent> content =
            PrepareOrder(Source(), info, Now(), &refusal, &bookDown);
        if (content)
            return PrintOrderContent(*content, target, dialogs);
        dialogs.ShowMessage(refusal, QStringLiteral("错误"), MessageIcon::Critical, MessageButtons::Ok);
        PrintJobResult refused;
        refused.readFailed = !bookDown;
        return refused;
    }

    Sandbox sandbox;
    std::unique_ptr<PhotoStore> store;
    PrintInfo info;
    Settings settings;
    std::unique_ptr<OrderBookSource> source;
    RecordingDialogs dialogs;
    QString pdf;
};

} // namespace kestova::test
