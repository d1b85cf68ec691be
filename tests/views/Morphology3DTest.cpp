#include "ViewTestData.h"

#include "views/Morphology3D.h"

#include <gtest/gtest.h>

namespace {

std::array<int, 4> Bytes(const TColor4ub &color) {
  return {color.R, color.G, color.B, color.A};
}
std::array<int, 4> Bytes(const float *rgb) {
  return Bytes(ToColor4ub(rgb));
}

TEST(ToColor4ub, RoundsAndClampsToBytes) {
  const std::pair<float, int> cases[] = {{0.0f, 0},   {1.0f, 255}, {128.0f / 255.0f, 128},
                                         {0.5f, 128}, {-0.1f, 0},  {1.2f, 255},
                                         {0.3f, 77}};
  for (const auto &[component, byte] : cases) {
    const float rgb[3] = {component, component, component};
    EXPECT_EQ(Bytes(rgb), (std::array<int, 4>{byte, byte, byte, 255})) << component;
  }
}

TEST(DiameterBandCorners, FourCasesOfAPiece) {
  struct TCase {
    const char *Name;
    std::array<double, 6> Piece; // e, f, g, h, r1, r2
    std::array<TBandCorner, 4> Expected;
  };
  const TCase cases[] = {
      // A piece along (3, 4), length 5: the ends are offset across it.
      {"general", {0, 0, 3, 4, 5, 10}, {{{4, -3}, {-4, 3}, {3 - 8, 4 + 6}, {3 + 8, 4 - 6}}}},
      {"vertical", {1, 1, 1.0005, 9, 2, 3}, {{{3, 1}, {-1, 1}, {1.0005 - 3, 9}, {1.0005 + 3, 9}}}},
      {"horizontal", {1, 1, 9, 1, 2, 3}, {{{1, -1}, {1, 3}, {9, 4}, {9, -2}}}},
      // End-on: a square about the first point with the larger radius.
      {"end-on", {2, 2, 2.0001, 2, 1, 3}, {{{5, -1}, {-1, -1}, {-1, 5}, {5, 5}}}},
      {"end-on, equal radii", {2, 2, 2, 2, 1, 1}, {{{3, 1}, {1, 1}, {1, 3}, {3, 3}}}},
  };
  for (const TCase &c : cases) {
    const auto &p = c.Piece;
    const std::array<TBandCorner, 4> corners =
        DiameterBandCorners(p[0], p[1], p[2], p[3], p[4], p[5]);
    for (int i = 0; i < 4; ++i) {
      EXPECT_NEAR(corners[i].X, c.Expected[i].X, 1e-9) << c.Name << " corner " << i;
      EXPECT_NEAR(corners[i].Y, c.Expected[i].Y, 1e-9) << c.Name << " corner " << i;
    }
  }
}

// Two items: a soma of one segment and a dendrite of two; each segment of a
// straight section has five points, so four pieces.
class Morphology3D : public ::testing::Test {
protected:
  void SetUp() override {
    Context = std::make_unique<TTestViewContext>(WriteDataFile(
        Dir, "morph.dat", {StraightSection("soma", -1, 20, 1), StraightSection("dend", 0, 80, 2)},
        {{0.0, -70.0, 0.0, 30.0}}));
  }
  const float *Colors() const {
    std::lock_guard lock(Context->Data.GetFrameLock());
    return Context->Data.GetCurrentColors();
  }
  QTemporaryDir Dir;
  std::unique_ptr<TTestViewContext> Context;
  TMorphology3D Morphology;
};

TEST_F(Morphology3D, LinesAndColoursFollowTheCheckedItemsAndSegments) {
  const TNeuronDataFile &data = Context->Data;
  const int somaPoints = data.GetSections()[0].PointCount;
  const int dendritePoints = data.GetSections()[1].PointCount;
  ASSERT_TRUE(Morphology.Update(data));
  EXPECT_FALSE(Morphology.Update(data)) << "nothing changed";
  EXPECT_EQ(Morphology.Points().size(), 3u * (somaPoints + dendritePoints));
  // Every piece lies within one segment: 1 + 2 segments fewer than the points.
  EXPECT_EQ(Morphology.Lines().size(), 2u * (somaPoints + dendritePoints - 3));
  Morphology.Color(Colors());
  const float *colors = Colors();
  EXPECT_EQ(Bytes(Morphology.PointColors()[0]), Bytes(colors));
  EXPECT_EQ(Bytes(Morphology.PointColors().back()), Bytes(colors + 3 * 2));

  Context->Data.GetItemChecked()[0] = 0;
  ASSERT_TRUE(Morphology.Update(data));
  EXPECT_EQ(Morphology.Points().size(), 3u * dendritePoints);
  EXPECT_EQ(Morphology.Points()[0], 0.0f);
  EXPECT_EQ(Morphology.Lines().size(), 2u * (dendritePoints - 2));
}

TEST_F(Morphology3D, BandsAreThePiecesCornersUnderTheMatrix) {
  Morphology.Update(Context->Data);
  TModelTransform3D transform;
  transform.SetTranslation(5, 0);
  transform.SetScale(2, 2, 2);
  Morphology.BuildBands(transform.Matrix(), 0.5);
  Morphology.ColorBands(Colors());
  const std::size_t pieces = Morphology.Lines().size() / 2;
  ASSERT_EQ(Morphology.BandCount(), pieces);
  ASSERT_EQ(Morphology.BandCorners().size(), pieces * 12);
  ASSERT_EQ(Morphology.BandColors().size(), pieces * 6);
  // The soma's first piece: x from 0 to 5 doubled, shifted by 5, diameter 1.
  const std::array<TBandCorner, 4> expected = DiameterBandCorners(5, 0, 15, 0, 0.5, 0.5);
  for (int i = 0; i < 4; ++i) {
    EXPECT_FLOAT_EQ(Morphology.BandCorners()[2 * i], expected[i].X);
    EXPECT_FLOAT_EQ(Morphology.BandCorners()[2 * i + 1], expected[i].Y);
  }
  // Its ends follow the corners of all pieces.
  EXPECT_FLOAT_EQ(Morphology.BandCorners()[8 * pieces], 5.0f);
  EXPECT_FLOAT_EQ(Morphology.BandCorners()[8 * pieces + 2], 15.0f);
  // Every corner of a piece in its segment's colour: the last piece is segment 2's.
  EXPECT_EQ(Bytes(Morphology.BandColors()[4 * pieces - 1]), Bytes(Colors() + 3 * 2));
  EXPECT_EQ(Bytes(Morphology.BandColors().back()), Bytes(Colors() + 3 * 2));
}

// Bands 1 unit wide: outlined by their edges and filled at pixels of up to
// 1 unit, their centre line alone at larger pixels.
TEST_F(Morphology3D, BandsNarrowerThanAPixelAreTheirCentreLine) {
  Morphology.Update(Context->Data);
  const TMatrix4d identity = TModelTransform3D().Matrix();
  const auto pieces = static_cast<std::uint32_t>(Morphology.Lines().size() / 2);
  for (const double pixel : {0.5, 1.0, 1.5}) {
    Morphology.BuildBands(identity, pixel);
    const std::vector<std::uint32_t> &outlines = Morphology.BandOutlines();
    if (pixel <= 1.0) {
      ASSERT_EQ(outlines.size(), 8u * pieces) << pixel;
      EXPECT_EQ(std::vector(outlines.begin(), outlines.begin() + 8),
                (std::vector<std::uint32_t>{0, 1, 1, 2, 2, 3, 3, 0}));
      ASSERT_EQ(Morphology.BandFills().size(), 4u * pieces);
      EXPECT_EQ(Morphology.BandFills()[7], 7u);
    } else {
      ASSERT_EQ(outlines.size(), 2u * pieces) << pixel;
      EXPECT_TRUE(Morphology.BandFills().empty());
      EXPECT_EQ(outlines[2], 4 * pieces + 2);
      EXPECT_EQ(outlines[3], 4 * pieces + 3);
    }
  }
}

} // namespace
