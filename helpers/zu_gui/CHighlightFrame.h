// The editor's top frame: indexes its controls by tag (a multi-value control under every tag
// it stands for) and can outline one control, the pupil, in the highlight colour.
// setHighlightControl neither allocates nor locks, so it may be called from any thread.
#pragma once

#include "CZUControl.h"

#include <atomic>
#include <map>

class CHighlightFrame : public CFrame {
public:
    CHighlightFrame(const CRect& size, VSTGUIEditorInterface* editor = nullptr);
    bool isTypeOf(const char* s) const override;

    using CFrame::addView;
    // Adds the control and indexes it under its tag (all its tags for a CZUControl).
    virtual bool addView(CControl* control);
    virtual bool addView(CZUControl* control);
    // Adds the view and indexes it under id; false for a null view.
    virtual bool addView(CView* view, long id);
    bool removeView(CView* view, bool withForget = true) override;
    void removeAll(bool withForget = true) override;

    virtual void setPupilControl(CControl* control) { pupil.store(control); }
    virtual CControl* getPupilControl() const { return pupil.load(); }
    virtual void setHighlightColor(unsigned char red, unsigned char green, unsigned char blue,
                                   unsigned char alpha);
    virtual void setHighlightColor(const CColor& color);
    CColor getHighlightColor() const { return highlightColor; }
    // Outlines the control that shows tag (on), or nothing (off, or an unknown tag).
    virtual void setHighlightControl(long tag, bool on);
    // The pupil's rectangle, whatever the tag; false when there is no pupil.
    virtual bool getHighlightRect(long tag, CRect& rect) const;
    virtual CControl* getControlFromID(long tag) const;
    virtual CView* getViewFromID(long id) const;

    // Knobs in this editor are always dragged vertically.
    long getKnobMode() const override { return kLinearMode; }
    void draw(CDrawContext* context) override;

protected:
    void forgetIndexed(CView* view);
    std::map<long, CControl*> tagIndex;
    std::map<long, CView*> viewIndex;
    // The engine may change the pupil from its own thread while the window draws.
    std::atomic<CControl*> pupil{nullptr};
    CColor highlightColor = kWhiteCColor;
};
