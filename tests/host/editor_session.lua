-- editor_session.lua -- run by editor_shot.sh inside Ardour's headless Lua
-- session interpreter (ardour7-lua / luasession).  Do not run directly.
--
-- Builds a throw-away session with one track that carries the LXVST
-- plug-in under test (a MIDI track for an instrument, an audio track for
-- an effect), saves it and prints the IDs editor_shot.sh needs to make
-- the Ardour GUI open the plug-in's own editor when it loads the session:
--
--   EDSHOT-IDS: <route id> <processor id>
--
-- All input comes from ES_* environment variables.

io.stdout:setvbuf ("no")

local function env (k, d)
	local v = os.getenv (k)
	if v == nil or v == "" then return d end
	return v
end

local function say (...)
	local t = {}
	for i = 1, select ("#", ...) do t[#t + 1] = tostring (select (i, ...)) end
	print ("EDSHOT-INFO: " .. table.concat (t, " "))
end

local function die (msg)
	print ("EDSHOT-ERROR: " .. msg)
	os.exit (3)
end

local PLUGIN      = env ("ES_PLUGIN")
local SESSION_DIR = env ("ES_SESSION_DIR")
local SESSION     = env ("ES_SESSION_NAME", "shot")
local RATE        = tonumber (env ("ES_RATE", "48000"))
local BUFSIZE     = tonumber (env ("ES_BUFFER", "1024"))
local TRACK       = env ("ES_TRACK", "auto")        -- auto | midi | audio
local TRACKNAME   = env ("ES_TRACK_NAME", "Plugin")

if not PLUGIN or not SESSION_DIR then die ("missing ES_PLUGIN / ES_SESSION_DIR") end

------------------------------------------------------------------------------
-- engine (the GUI later starts the same backend/rate/buffer)
local backend = AudioEngine:set_backend ("None (Dummy)", "", "")
if not backend or backend:isnil () then
	die ("cannot select the 'None (Dummy)' backend (hide-dummy-backend must be 0)")
end
if AudioEngine:set_sample_rate (RATE) ~= 0 then die ("backend refused sample rate " .. RATE) end
if AudioEngine:set_buffer_size (BUFSIZE) ~= 0 then die ("backend refused buffer size " .. BUFSIZE) end
if AudioEngine:start (false) ~= 0 or not AudioEngine:running () then
	die ("engine did not start: " .. tostring (AudioEngine:get_last_backend_error ()))
end

-- plug-in lists exist only once the engine runs; match by path
local pinfo = nil
for _ = 1, 100 do
	for p in ARDOUR.LuaAPI.list_plugins ():iter () do
		if p.type == ARDOUR.PluginType.LXVST and p.path == PLUGIN then pinfo = p break end
	end
	if pinfo then break end
	ARDOUR.LuaAPI.usleep (20000)
end
if not pinfo then die ("plug-in not known to Ardour (scan cache missing/stale?): " .. PLUGIN) end

local is_instr = pinfo:is_instrument ()
local midi_in  = pinfo.n_inputs:n_midi ()
local audio_in = pinfo.n_inputs:n_audio ()
if TRACK == "auto" then
	if is_instr or (audio_in == 0 and midi_in > 0) then TRACK = "midi" else TRACK = "audio" end
end
say ("plugin", string.format ("name='%s' id=%s audio_in=%d audio_out=%d midi_in=%d instrument=%s track=%s",
	pinfo.name, pinfo.unique_id, audio_in, pinfo.n_outputs:n_audio (), midi_in, tostring (is_instr), TRACK))

------------------------------------------------------------------------------
-- wait until the backend has really dropped a port (deferred deletion)
local function wait_port_gone (name)
	for _ = 1, 200 do
		local _, t = AudioEngine:get_backend_ports ("", ARDOUR.DataType ("audio"), 0, C.StringVector ())
		local found = false
		for n in t[4]:iter () do
			if n == name or string.sub (n, -(#name + 1)) == ":" .. name then found = true end
		end
		if not found then return true end
		ARDOUR.LuaAPI.usleep (10000)
	end
	return false
end

if not create_session (SESSION_DIR, SESSION, RATE) then die ("create_session failed in " .. SESSION_DIR) end
ARDOUR.LuaAPI.wait_for_process_callback (4, 2000)

local track = nil
if TRACK == "midi" then
	-- created without instrument, plug-in added afterwards: a track made
	-- with its instrument races with port deletion ("Port already exists")
	local tl = Session:new_midi_track (ARDOUR.ChanCount (ARDOUR.DataType ("midi"), 1),
		ARDOUR.ChanCount (ARDOUR.DataType ("audio"), 2), true, ARDOUR.PluginInfo (), nil, nil, 1,
		TRACKNAME, ARDOUR.PresentationInfo.max_order, ARDOUR.TrackMode.Normal, false, false)
	for t in tl:iter () do track = t end
	tl = nil
	if not track then die ("could not create MIDI track") end
	wait_port_gone (TRACKNAME .. "/audio_out 1")
else
	local nin = audio_in
	if nin < 1 then nin = 1 end
	if nin > 2 then nin = 2 end
	local tl = Session:new_audio_track (nin, 2, nil, 1, TRACKNAME,
		ARDOUR.PresentationInfo.max_order, ARDOUR.TrackMode.Normal, false, false)
	for t in tl:iter () do track = t end
	tl = nil
	if not track then die ("could not create audio track") end
end

local proc = ARDOUR.LuaAPI.new_plugin (Session, pinfo.unique_id, ARDOUR.PluginType.LXVST, "")
if not proc or proc:isnil () then die ("could not instantiate the plug-in") end
if track:add_processor_by_index (proc, 0, nil, true) ~= 0 then die ("could not add the plug-in to the track") end
ARDOUR.LuaAPI.wait_for_process_callback (4, 2000)

local rid = track:to_stateful ():id ():to_s ()
local pid = proc:to_stateful ():id ():to_s ()
say ("track", track:name (), "processor", proc:display_name ())

if Session:save_state ("", false, false, false, false, false) ~= 0 then die ("save_state failed") end
print ("EDSHOT-IDS: " .. rid .. " " .. pid)

proc = nil; track = nil; pinfo = nil
collectgarbage ()
close_session ()
print ("EDSHOT-RESULT: OK")
