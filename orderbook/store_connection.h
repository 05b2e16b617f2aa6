// StoreConnection: the photo store's own connection, for the order book kept
// in the store's file (Data.mdb). The order book and a count then write
// through one connection and never wait for each other, and a note number
// issued by the store is seen by the order book at once. Only the order
// book takes it; everything else reads and writes the store through
// PhotoStore's methods.
#pragma once

#include "photo_store.h"

#include <QSqlDatabase>

namespace kestova {

class StoreConnection
{
public:
    static QSqlDatabase Of(const PhotoStore &store) { return store.database(); }
};

} // namespace kestova
