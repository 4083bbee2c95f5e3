#include "core/PDRect.h"

#include <gtest/gtest.h>

#include "core/PDArray.h"
#include "core/PDInteger.h"
#include "core/PDMatrix.h"
#include "core/PDReal.h"
#include "core/tests/ReadingSupport.h"

using namespace qz::core;
using qz::core::testing::Describe;

namespace {

std::unique_ptr<TqzPDArray> Numbers(std::initializer_list<double> values, bool reals = false) {
    auto array = std::make_unique<TqzPDArray>();
    for (double v : values) {
        if (reals) {
            array->Add(std::make_unique<TqzPDReal>(v));
        } else {
            array->Add(std::make_unique<TqzPDInteger>(static_cast<int32_t>(v)));
        }
    }
    return array;
}

void ExpectMatrix(const TqzPDMatrix& m, double a, double b, double c, double d, double e,
                  double f) {
    EXPECT_DOUBLE_EQ(m.FM11, a);
    EXPECT_DOUBLE_EQ(m.FM12, b);
    EXPECT_DOUBLE_EQ(m.FM21, c);
    EXPECT_DOUBLE_EQ(m.FM22, d);
    EXPECT_DOUBLE_EQ(m.FDx, e);
    EXPECT_DOUBLE_EQ(m.FDy, f);
}

}  // namespace

TEST(PDRect, MirrorsItsArray) {
    EXPECT_FALSE(TqzPDRect().GetIsValid());
    EXPECT_EQ(TqzPDRect().GetLeft(), -1.0);

    auto box = Numbers({0, 0, 612, 792});
    TqzPDRect rect(box.get());
    EXPECT_EQ(rect.GetTop(), 0);
    EXPECT_EQ(rect.GetBottom(), 792);
    EXPECT_FALSE(rect.GetIsValid());
    rect.SetRight(600.4);
    EXPECT_TRUE(rect.GetIsValid());
    EXPECT_EQ(Describe(box->GetRefObj(2)), "int 600");
    rect.SetLeft(2.5);  // halves go to the even neighbour
    EXPECT_EQ(Describe(box->GetRefObj(0)), "int 2");
    rect.SetTop(1e300);
    EXPECT_EQ(Describe(box->GetRefObj(1)), "int 2147483647");

    auto reals = Numbers({0, 0, 612, 792}, true);
    TqzPDRect realRect(reals.get());
    realRect.SetRight(600.4);
    EXPECT_EQ(Describe(reals->GetRefObj(2)), "real 600.4");

    auto two = Numbers({5, 6});
    TqzPDRect shortRect(two.get());
    EXPECT_EQ(shortRect.GetRight(), 0);
    EXPECT_EQ(shortRect.GetBottom(), 0);
    shortRect.SetBottom(9);
    EXPECT_EQ(two->GetLength(), 2);

    TqzPDRect clone = rect.Clone();
    EXPECT_EQ(clone.GetArray(), nullptr);
    EXPECT_TRUE(clone.GetIsValid());
    clone.SetRight(1);
    EXPECT_EQ(Describe(box->GetRefObj(2)), "int 600");

    TqzPDRect target(box.get());
    target.Assign(TqzPDRect(1, 2, 3, 4));
    EXPECT_EQ(Describe(box->GetRefObj(3)), "int 4");
}

TEST(PDMatrix, InverseProductAndArrays) {
    ExpectMatrix(TqzPDMatrix(2, 0, 0, 2, 10, 20).GetInverse(), 0.5, 0, 0, 0.5, -5, -10);
    ExpectMatrix(TqzPDMatrix(0, 0, 0, 0, 1, 1).GetInverse(), 1, 0, 0, 1, 0, 0);
    TqzPDMatrix singular(0, 0, 0, 0, 1, 1);
    singular.Inverse();
    ExpectMatrix(singular, 0, 0, 0, 0, 1, 1);

    const TqzPDMatrix m(1, 2, 3, 4, 5, 6);
    ExpectMatrix(TqzPDMatrix().PreMultiply(m), 1, 2, 3, 4, 5, 6);
    ExpectMatrix(TqzPDMatrix(2, 0, 0, 2, 1, 1).PreMultiply(TqzPDMatrix(1, 0, 0, 1, 3, 4)), 2, 0, 0,
                 2, 7, 9);

    auto five = Numbers({1, 2, 3, 4, 5});
    EXPECT_TRUE(TqzPDMatrix(five.get()).IsIdentity());
    auto six = Numbers({1, 2, 3, 4, 5, 6});
    ExpectMatrix(TqzPDMatrix(six.get()), 1, 2, 3, 4, 5, 6);
    auto array = m.GetArray();
    ASSERT_EQ(array->GetLength(), 6);
    EXPECT_EQ(Describe(array->GetRefObj(5)), "real 6");
}
