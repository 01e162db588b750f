#pragma once
// The one value a collection control keeps per row for its owner. The control never looks
// inside; whatever it holds is released with the row (a std::shared_ptr held here is one
// reference). Empty stands for the null value.

#include <any>

using CItemData = std::any;
