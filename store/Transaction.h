#pragma once

#include "store/Database.h"

// A database transaction for the lifetime of a scope: begun on construction,
// rolled back on destruction unless committed, so an exception thrown half
// way leaves the tables as they were.
class Transaction {
public:
    // Begins a transaction on db; throws DatabaseError when it cannot.
    explicit Transaction(Database& db) : db_(db)
    {
        db_.Begin();
        active_ = true;
    }
    ~Transaction() { Rollback(); }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    // Makes the transaction's changes permanent; throws DatabaseError when the
    // server refuses (the transaction is then rolled back by the destructor).
    void Commit()
    {
        db_.Commit();
        active_ = false;
    }
    // Undoes the transaction's changes now; does nothing once committed or
    // rolled back.
    void Rollback() noexcept
    {
        if (active_)
            db_.Rollback();
        active_ = false;
    }

private:
    Database& db_;
    bool active_ = false;
};
