-- Builds a throw-away session around Brakka in Ardour's headless Lua interpreter and exports it.
--
-- The driver (ardour_session_test.py) prepends a table BRAKKA with the session folder, the
-- tempo map, the MIDI notes, the plug-in parameters and the export range. The last line printed
-- is "BRAKKA-SESSION-OK" when everything worked; any failure prints "BRAKKA-SESSION-ERROR: ..."
-- and the driver decides whether to try again.

local audio = ARDOUR.DataType("audio")
local midi = ARDOUR.DataType("midi")

local function fail(what)
    error(what, 0)
end

-- Ardour 7.3 can deadlock when a MIDI track's outputs change: the call holds the engine's
-- process lock and queues an auto-connect request, while the auto-connect thread, woken by an
-- earlier request, holds the queue lock and waits for the process lock. Pausing after every
-- change that queues such a request lets that thread finish before the next one starts.
local function settle()
    ARDOUR.LuaAPI.usleep(BRAKKA.settle_us)
end

local function new_midi_track(name)
    -- Without an instrument: adding the plug-in in the same call races with the deletion of
    -- the track's first ports ("Port already exists").
    local list = Session:new_midi_track(ARDOUR.ChanCount(midi, 1), ARDOUR.ChanCount(audio, 2),
                                        true, ARDOUR.PluginInfo(), nil, nil, 1, name,
                                        ARDOUR.PresentationInfo.max_order,
                                        ARDOUR.TrackMode.Normal, true, false)
    if list:size() ~= 1 then
        fail("could not create track " .. name)
    end
    settle()
    return list:front()
end

local function set_tempo_map()
    local tm = Temporal.TempoMap.fetch_writable()
    for _, t in ipairs(BRAKKA.tempos) do
        tm:set_tempo(Temporal.Tempo(t.bpm, t.bpm, 4),
                     Temporal.timepos_t.from_ticks(Temporal.ticks_per_beat * t.beat))
    end
    Temporal.TempoMap.update(tm)
end

local function beats(b)
    local whole = math.floor(b)
    return Temporal.Beats(whole, math.floor((b - whole) * Temporal.ticks_per_beat + 0.5))
end

-- There is no Lua call that makes a MIDI region: bounce a stretch of an empty helper track
-- (no instrument) and fill the empty region it yields with notes.
local function add_note_region(track)
    local helper = new_midi_track("Notes")
    local region = helper:bounce_range(0, BRAKKA.export_end, ARDOUR.InterThreadInfo(),
                                       helper:main_outs(), false, "notes")
    if region:isnil() then
        fail("bouncing the helper track gave no region")
    end
    settle()
    local midi_region = region:to_midiregion()
    if midi_region:isnil() then
        fail("the bounced region is not a MIDI region")
    end
    track:playlist():add_region(region, Temporal.timepos_t(0), 1, false)
    local model = midi_region:midi_source(0):model()
    local cmd = model:new_note_diff_command("notes")
    for _, n in ipairs(BRAKKA.notes) do
        cmd:add(ARDOUR.LuaAPI.new_noteptr(1, beats(n.beat), beats(n.length), n.note, n.velocity))
    end
    model:apply_command(Session, cmd)
    helper:set_active(false, nil)
    settle()
end

local function add_instrument(track)
    -- Give the engine time to drop the ports the new track replaced before adding ours.
    settle()
    local proc = ARDOUR.LuaAPI.new_plugin(Session, BRAKKA.plugin_name, ARDOUR.PluginType.LXVST, "")
    if proc:isnil() then
        fail("Ardour does not know the plug-in " .. BRAKKA.plugin_name)
    end
    if track:add_processor_by_index(proc, 0, nil, true) ~= 0 then
        fail("could not add the plug-in to the track")
    end
    settle()
    local plugin = proc:to_insert():plugin(0)
    if plugin:parameter_count() ~= BRAKKA.parameter_count then
        fail("plug-in reports " .. plugin:parameter_count() .. " parameters")
    end
    for index, name in pairs(BRAKKA.parameter_names) do
        if plugin:parameter_label(index) ~= name then
            fail("parameter " .. index .. " is called " .. plugin:parameter_label(index))
        end
    end
    return proc
end

local function set_parameters(proc)
    for _, p in ipairs(BRAKKA.parameters) do
        if not ARDOUR.LuaAPI.set_processor_param(proc, p[1], p[2]) then
            fail("could not set parameter " .. p[1])
        end
        local got = ARDOUR.LuaAPI.get_processor_param(proc, p[1])
        if math.abs(got - p[2]) > 1e-6 then
            fail("parameter " .. p[1] .. " reads back " .. got)
        end
    end
end

local function add_audio_ports(io, count)
    while io:n_ports():n_audio() < count do
        if io:add_port("", nil, audio) ~= 0 then
            fail("could not add a port to " .. io:name())
        end
        settle()
    end
end

-- A new track clamps the instrument to two outputs ("strict I/O"); the other ten then all land
-- in one scratch buffer. Widen the insert, map it one to one, and carry every channel through
-- the track and the master bus with the panners out of the way.
local function route_all_outputs(track, proc)
    local n = BRAKKA.outputs
    local insert = proc:to_insert()
    track:set_strict_io(false)
    settle()
    if not track:customize_plugin_insert(proc, 1, ARDOUR.ChanCount(audio, n),
                                         ARDOUR.ChanCount(midi, 1)) then
        fail("could not customise the plug-in insert")
    end
    settle()
    local map = ARDOUR.ChanMapping()
    for i = 0, n - 1 do
        map:set(audio, i, i)
    end
    insert:set_output_map(0, map)
    settle()
    if insert:output_streams():n_audio() ~= n then
        fail("the insert has " .. insert:output_streams():n_audio() .. " outputs")
    end

    local master = Session:master_out()
    print("BRAKKA-TRACK-OUTPUTS " .. track:output():n_ports():n_audio())
    add_audio_ports(track:output(), n)
    add_audio_ports(master:input(), n)
    add_audio_ports(master:output(), n)
    track:panner_shell():set_bypassed(true)
    master:panner_shell():set_bypassed(true)
    track:output():disconnect_all(nil)
    settle()
    for i = 0, n - 1 do
        if track:output():audio(i):connect(master:input():audio(i):name()) ~= 0 then
            fail("could not connect output " .. i)
        end
    end
end

local function export()
    local e = Session:simple_export()
    e:set_name(BRAKKA.export_name)
    e:set_folder(BRAKKA.export_dir)
    e:set_range(0, BRAKKA.export_end)
    if not e:set_preset(BRAKKA.preset_id) then
        fail("export preset " .. BRAKKA.preset_id .. " not found")
    end
    if not e:check_outputs() then
        fail("the master bus has no outputs to export")
    end
    if not e:run_export() then
        fail("export failed")
    end
end

local function run()
    if not AudioEngine:set_backend("None (Dummy)", "", "") then
        fail("no dummy backend (is hide-dummy-backend off?)")
    end
    if not create_session(BRAKKA.session_dir, BRAKKA.session_name, BRAKKA.rate) then
        fail("could not create the session")
    end
    set_tempo_map()
    local track = new_midi_track("Drums")
    add_note_region(track)
    local proc = add_instrument(track)
    set_parameters(proc)
    route_all_outputs(track, proc)
    print("BRAKKA-BLOCK-SIZE " .. Session:get_block_size())
    export()
end

local ok, err = pcall(run)
-- Every reference to a session object must be gone before the session closes.
collectgarbage()
pcall(close_session)
if ok then
    print("BRAKKA-SESSION-OK")
else
    print("BRAKKA-SESSION-ERROR: " .. tostring(err))
end
