// A fresh store, the order layout and a PDF file for one print-job test,
// with the store's order book as the order's source. Skipped without
// pdftotext. A fixture deriving from it calls OrderPdfTest::SetUp() first
// and returns when that skipped or failed.
#pragma once

#include "order_book_source.h"
#include "pdf_text.h"
#include "photo_store.h"
#include "print_info.h"
#include "program_folder.h"
#include "recording_dialogs.h"
#include "report_model.h"
#include "rpt_print_a4.h"
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

    Sandbox sandbox;
    std::unique_ptr<PhotoStore> store;
    PrintInfo info;
    Settings settings;
    std::unique_ptr<OrderBookSource> source;
    RecordingDialogs dialogs;
    ReportSlot layout{rptPrintA4()};
    QString pdf;
};

} // namespace kestova::test
