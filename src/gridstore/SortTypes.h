// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

#include <functional>

enum TSortStyle { ssAutomatic, ssNormal, ssNumeric, ssNumericExtended, ssDateTime, ssTime, ssCustom };
enum TSortDirection { sdAscending, sdDescending };

// Negative, zero or positive like a three-way comparison of Text1 and Text2.
using TSortCompare = std::function<int(const QString& Text1, const QString& Text2)>;

struct TSortOptions {
    bool CanSort = true;
    QString SecondaryIndex; // comma-separated column numbers, most significant first
    TSortStyle SortStyle = ssNormal;
    bool SortCaseSensitive = false;
    int SortCol = 0;
    TSortDirection SortDirection = sdAscending;
    bool UpdateOnSizeChange = false;
    TSortCompare SortCompare; // used by ssCustom; dropped after every sort
};

enum TMyPrintRange { prAll, prSelected };

// Carried for the owner; nothing in the grid prints.
struct TPrintOptions {
    QString JobTitle;
    QString PageTitle;
    unsigned Copies = 0;
    TMyPrintRange PrintRange = prAll;
    unsigned FromRow = 0;
    unsigned ToRow = 0;
    unsigned PreviewPage = 0;
};
