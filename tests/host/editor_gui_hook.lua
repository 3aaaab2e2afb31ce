-- editor_gui_hook.lua -- the body of an Ardour GUI "Lua callback hook" that
-- editor_shot.sh installs in the private Ardour config (ui_scripts file).
-- Not a stand-alone script: it is the factory chunk of the hook.  Ardour
-- runs it once with the hook's argument table and calls the function it
-- returns on every subscribed signal (editor_shot.sh subscribes the 1 s and
-- 100 ms GUI timers, LuaTimerS/LuaTimerDS), in the GUI thread.
--
-- Protocol with editor_shot.sh, through files in $ES_CTL:
--   hook-alive      written on the first call (proves hooks run)
--   quit-request    created by editor_shot.sh when the session is dirty;
--                   the hook then switches the session to a throw-away
--                   snapshot (which marks it clean, so Ardour's Quit does
--                   not open the "Unsaved Session" dialog; the snapshot the
--                   GUI loaded is not rewritten) and answers with
--   quit-ready      one line: what it did
-- The hook never quits Ardour itself: quitting from inside a hook would
-- delete the hook's own Lua state while it runs (the session close drops
-- all hooks).  editor_shot.sh sends the Quit shortcut instead.
local ctl = os.getenv ("ES_CTL") or ""
local alive = false
return function (signal, ref, ...)
	if ctl == "" then return end
	if not alive then
		alive = true
		local f = io.open (ctl .. "/hook-alive", "w")
		if f then f:write ("signal " .. tostring (signal) .. "\n") f:close () end
	end
	local q = io.open (ctl .. "/quit-request", "r")
	if not q then return end
	q:close ()
	os.remove (ctl .. "/quit-request")
	local note = "no session"
	if Session then
		local rv = Session:save_state ("editor-shot-discard", false, true, false, false, false)
		note = "switched to throw-away snapshot editor-shot-discard, save_state=" .. tostring (rv)
	end
	local f = io.open (ctl .. "/quit-ready", "w")
	if f then f:write (note .. "\n") f:close () end
end
