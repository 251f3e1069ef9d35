#pragma once

// A practice server on a small generated practice of its own, for the targets that ask it.

#include "practice/practicehostlink.h"
#include "practice/sqlitestore.h"

#include <QTemporaryDir>

#include <memory>

namespace zelvar::fuzz {

inline practice::PracticeHostLink& smallPractice()
{
    static QTemporaryDir folder;
    static practice::PracticeHostLink link([] {
        auto store = std::make_shared<practice::SqliteStore>(folder.filePath(QStringLiteral("practice.db")));
        store->generate(300, 1);
        return store;
    }());
    return link;
}

} // namespace zelvar::fuzz
