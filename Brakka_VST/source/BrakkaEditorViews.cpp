// The editor's views: every section of the window, placed from BrakkaEditorLayout.h.
#include "BrakkaEditor.h"

#include "BrakkaControlColors.h"
#include "BrakkaParameterManager.h"
#include "CCharacterDisplay.h"
#include "CEGControl.h"
#include "CHighlightFrame.h"
#include "CMomentaryButton.h"
#include "CRirezariResource.h"
#include "CZUBrakkaControls.h"
#include "CZUVPopupMenu.h"

#include <cmath>
#include <string>
#include <vector>

using namespace brakka_layout;

namespace {

CRect toCRect(const Rect& r) {
    return CRect(r.left, r.top, r.right, r.bottom);
}

const CColor kCaptionColor = MakeCColor(214, 218, 224);
// Pop-up menus: light text on a dark field framed like the panel's wells; the open list
// marks the current item in the accent colour.
const CColor kMenuFrame = MakeCColor(74, 80, 92);
const CColor kMenuField = MakeCColor(18, 20, 24);
const CColor kMenuList = MakeCColor(30, 33, 39, 248);
const CColor kMenuSelection = MakeCColor(255, 153, 0);
const CColor kMenuText = MakeCColor(232, 235, 240);
const CColor kMenuSelectedText = MakeCColor(20, 20, 24);

// A menu's items from one of the parameter table's value-string lists.
template <size_t N>
std::vector<std::string> itemList(const char* const (&strings)[N]) {
    return std::vector<std::string>(strings, strings + N);
}

CColor familyColor(int voice) {
    const RGB& c = kFamilyColor[kVoiceFamily[voice]];
    return MakeCColor(c.r, c.g, c.b);
}

} // namespace

CBitmap* BrakkaEditor::bitmap(int number) {
    for (CBitmap* b : bitmaps)
        if (b->getResourceID() == number) return b;
    CBitmap* b = new CBitmap((long)number);
    bitmaps.push_back(b);
    return b;
}

void BrakkaEditor::addControl(CControl* control, int voiceSet) {
    frame->addView(control);
    if (voiceSet >= 0) voiceSets[voiceSet].push_back(control);
}

CZUTextDisplay* BrakkaEditor::caption(const Rect& r, const char* text, short justification,
                                      int voiceSet, long id) {
    auto* d = new CZUTextDisplay(toCRect(r), captionFont, 64, justification);
    d->setDisplayString(text);
    d->setFontColor(kCaptionColor);
    d->setMouseEnabled(false);
    if (id >= 0)
        frame->addView(d, id);
    else
        frame->addView(d);
    if (voiceSet >= 0) voiceSets[voiceSet].push_back(d);
    return d;
}

void BrakkaEditor::buildFrame() {
    captionFont = new CRirezariResource(20000);
    numberFont = new CRirezariResource(20001);
    frame = new CHighlightFrame(CRect(0, 0, kWidth, kHeight), this);
    frame->setBackground(bitmap(kBmpBackground));
    buildHeader();
    buildPatternBar();
    buildVoiceRows();
    buildValueSection();
    buildMaster();
    for (int v = 0; v < kNumVoices; ++v) {
        buildRandomPanel(v);
        buildSoundPanel(v);
    }
    // The about screen lies over everything while it shows.
    CRect logo = toCRect(kLogo);
    addControl(new CSplashScreen(logo, this, kTagAbout, bitmap(kBmpAbout), toCRect(kAboutDisplay)));
}

void BrakkaEditor::buildHeader() {
    addControl(
        new CZUBrakkaPlayButton(toCRect(kPlay), this, kPlayTag, kPlay.height(), bitmap(kBmpPlay)));
    addControl(new CMomentaryButton(toCRect(kStop), this, kStopTag, bitmap(kBmpStop)));

    auto* tempo = new CZUKitboxVKnob(toCRect(kTempoKnob), this, kTempoTag, captionFont,
                                     "Tempo:     ", kWhiteCColor, kWhiteCColor, bitmap(kBmpKnob));
    tempo->setCaptionColor(kCaptionColor);
    addControl(tempo);
    // The read-out sits in the caption's blank after "Tempo:", under the knob.
    const CCoord captionWidth = captionFont->getStringWidth("Tempo:     ");
    const CCoord x = std::floor((kTempoKnob.left + kTempoKnob.right) / 2.0 - captionWidth / 2) +
                     captionFont->getStringWidth("Tempo:") + 3;
    const CCoord y = kTempoKnob.bottom - captionFont->getMaxCharacterHeight();
    tempoReadout = new CZUNumerical(CRect(x, y, x + 26, y + 13), this, kTagTempoReadout, numberFont,
                                    3, 0, true);
    tempoReadout->setMax(999);
    tempoReadout->setValue(-1); // shown by the first showTempo
    tempoReadout->setFontColor(MakeCColor(255, 196, 92));
    tempoReadout->setMouseEnabled(false);
    addControl(tempoReadout);

    auto* sync =
        new CZUVPopupMenu(toCRect(kSyncMenu), this, kSyncTag, numberFont, kMenuFrame, kMenuField,
                          kMenuList, kMenuSelection, kMenuText, kMenuSelectedText);
    sync->setItemList({"Host", "Internal", "MIDI Note"});
    addControl(sync);
    auto* zoomChoice =
        new CZUVPopupMenu(toCRect(kZoomMenu), this, kTagZoom, numberFont, kMenuFrame, kMenuField,
                          kMenuList, kMenuSelection, kMenuText, kMenuSelectedText);
    zoomChoice->setItemList({"100 %", "150 %", "200 %"});
    zoomMenu = zoomChoice;
    addControl(zoomChoice);
    addControl(new CHorizontalSlider(toCRect(kSwing), this, kSwingTag, 0,
                                     kSwing.width() - bitmap(kBmpSliderHandle)->getWidth(),
                                     bitmap(kBmpSliderHandle), nullptr));
}

void BrakkaEditor::buildPatternBar() {
    auto* stepSize =
        new CZUVPopupMenu(toCRect(kStepSizeMenu), this, kStepSizeTag, numberFont, kMenuFrame,
                          kMenuField, kMenuList, kMenuSelection, kMenuText, kMenuSelectedText);
    stepSize->setItemList(itemList(BrakkaParameterManager::kStepSizeStrs));
    addControl(stepSize);
    patternSelector = new CZUBrakkaPatternSelector(toCRect(kPatternSelector), this, kPatternTag,
                                                   bitmap(kBmpPatternCells));
    addControl(patternSelector);
    const Rect buttons[] = {kPatternClear, kPatternCopy, kPatternPaste};
    for (int i = 0; i < 3; ++i)
        addControl(new CMomentaryButton(toCRect(buttons[i]), this, kTagPatternClear + i,
                                        bitmap(kBmpPushButton)));
}

void BrakkaEditor::buildVoiceRows() {
    voiceSelector =
        new CVerticalSwitch(toCRect(kVoiceSelector), this, kTagVoiceSelector, kNumVoices,
                            kVoiceSelector.height(), kNumVoices, bitmap(kBmpVoiceSelector));
    addControl(voiceSelector);
    CBitmap* handle = bitmap(kBmpSliderHandle);
    for (int v = 0; v < kNumVoices; ++v) {
        addControl(new CMovieButton(toCRect(rowRect(kMute, v)), this, kMuteTag + v, kMute.height(),
                                    bitmap(kBmpMute)));
        addControl(new CMovieButton(toCRect(rowRect(kSolo, v)), this, kSoloTag + v, kSolo.height(),
                                    bitmap(kBmpSolo)));
        noteRows[v] = new CZUBrakkaMultiButton(toCRect(rowRect(kNoteRow, v)), this,
                                               kTagNoteRows + kNumSteps * v);
        addControl(noteRows[v]);
        addControl(new CZUBrakkaSmallVKnob(toCRect(rowRect(kLevel, v)), this, kLevelTag + v,
                                           bitmap(kBmpSmallKnob)));
        addControl(new CHorizontalSlider(toCRect(rowRect(kPan, v)), this, kPanTag + v, 0,
                                         kPan.width() - handle->getWidth(), handle, nullptr));
        addControl(new CSelectorSwitch(toCRect(rowRect(kOutputBus, v)), this, kOutputTag + v,
                                       kNumOutputBuses, kOutputBus.height(),
                                       bitmap(kBmpOutputBus)));
    }
}

void BrakkaEditor::buildRandomPanel(int v) {
    CBitmap* handle = bitmap(kBmpSliderHandle);
    addControl(new CHorizontalSlider(toCRect(kSelectedBeats), this, kSelectedBeatsTag + v, 0,
                                     kSelectedBeats.width() - handle->getWidth(), handle, nullptr),
               v);
    addControl(new CHorizontalSlider(toCRect(kRandomBeats), this, kRandomBeatsTag + v, 0,
                                     kRandomBeats.width() - handle->getWidth(), handle, nullptr),
               v);
    auto* size =
        new CZUVPopupMenu(toCRect(kRandomSize), this, kRandomSizeTag + v, numberFont, kMenuFrame,
                          kMenuField, kMenuList, kMenuSelection, kMenuText, kMenuSelectedText);
    size->setItemList(itemList(BrakkaParameterManager::kRandomSizeStrs));
    addControl(size, v);
    auto* velocity = new CZUBrakkaVelocityNumerical(toCRect(kRandomVelocity), this,
                                                    kRandomVelocityTag + v, numberFont);
    velocity->setMax(kMaxRandomVelocity);
    velocity->setFontColor(MakeCColor(255, 196, 92));
    addControl(velocity, v);
    addControl(new CMovieButton(toCRect(kRandomReset), this, kRandomResetTag + v,
                                kRandomReset.height(), bitmap(kBmpToggle)),
               v);
    addControl(new CMomentaryButton(toCRect(kRandomClear), this, kClearTag + v,
                                    bitmap(kBmpWidePushButton)),
               v);
    addControl(new CMomentaryButton(toCRect(kRandomFill), this, kRandomFillTag + v,
                                    bitmap(kBmpWidePushButton)),
               v);
    CZUTextDisplay* name = caption(kRandomVoiceName, kVoiceTitle[v], 2, v);
    name->setFontColor(familyColor(v));
}

void BrakkaEditor::buildValueSection() {
    valueCaption = caption(kValueCaption, "", 0, -1, kTagValueCaption);
    valueRow = new CZUBrakkaMultiSlider(toCRect(kValueRow), this, kTagValueRow);
    valueRow->setDrawStyle(kZUMultisliderUnipolar);
    addControl(valueRow);
    for (int shape = 0; shape < 5; ++shape)
        addControl(new CMomentaryButton(toCRect(kFillButton.offset(shape * kFillButtonSpacing, 0)),
                                        this, kTagFill + shape, bitmap(kBmpFillButton)));
    rowEnable = new CMovieButton(toCRect(kRowEnable), this, kTagRowEnable, kRowEnable.height(),
                                 bitmap(kBmpToggle));
    addControl(rowEnable);
}

void BrakkaEditor::buildMaster() {
    auto* compressor =
        new CZUKitboxVKnob(toCRect(kCompressorKnob), this, kCompressorTag, captionFont,
                           "Compressor", kWhiteCColor, kWhiteCColor, bitmap(kBmpKnob));
    compressor->setCaptionColor(kCaptionColor);
    addControl(compressor);
    CBitmap* handle = bitmap(kBmpSliderHandle);
    addControl(new CHorizontalSlider(toCRect(kCompressorAttack), this, kCompressorAttackTag, 0,
                                     kCompressorAttack.width() - handle->getWidth(), handle,
                                     nullptr));
    auto* out = new CZUKitboxVKnob(toCRect(kOutputAKnob), this, kOutputATag, captionFont, "Out A",
                                   kWhiteCColor, kWhiteCColor, bitmap(kBmpKnob));
    out->setCaptionColor(kCaptionColor);
    addControl(out);
    addControl(new CMovieButton(toCRect(kMIDIOnly), this, kMIDIOutputOnlyTag, kMIDIOnly.height(),
                                bitmap(kBmpToggle)));
}

void BrakkaEditor::buildSoundPanel(int v) {
    addControl(new CMovieBitmap(toCRect(kVoicePanel), this, kTagVoicePanel + v, 1,
                                kVoicePanel.height(), bitmap(kBmpVoicePanel + v)),
               v);
    CBitmap* face = bitmap(kBmpKnobFamily + kVoiceFamily[v]);
    for (int i = 0; i < kMaxPanelItems && kPanels[v][i].kind != kPanelEnd; ++i) {
        const PanelItem& item = kPanels[v][i];
        const Rect r = panelItemRect(v, i);
        if (item.kind == kPanelKnob) {
            auto* knob = new CZUKitboxVKnob(toCRect(r), this, item.tags[0], captionFont,
                                            item.caption, kWhiteCColor, kWhiteCColor, face);
            knob->setCaptionColor(kCaptionColor);
            addControl(knob, v);
        } else if (item.kind == kPanelSwitch) {
            // The caption under the switch, level with the knobs' captions.
            const int bottom = kKnobTop + kKnobSize;
            caption(Rect{r.left - 10, bottom - (int)captionFont->getMaxCharacterHeight(),
                         r.right + 10, bottom},
                    item.caption, 1, v);
            addControl(
                new CMovieButton(toCRect(r), this, item.tags[0], r.height(),
                                 bitmap(item.tags[0] == 13 ? kBmpWaveform : kBmpMoreCowbell)),
                v);
        } else {
            caption(Rect{r.left, kEnvelopeCaptionTop, r.right, kEnvelopeCaptionTop + 12},
                    item.caption, 0, v);
            addControl(new CEGARControl(toCRect(r), this, item.tags[0], item.tags[1], -1,
                                        item.tags[2], item.tags[3], eg_fill_color, eg_bg_color,
                                        eg_grid_color, eg_line_color, kWhiteCColor, eg_bg_color,
                                        true),
                       v);
        }
    }
}
