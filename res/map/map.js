// The map view: the track of the listed movies, the current movie's track split into the
// part travelled and the part ahead, the position marker following playback, and the
// event markers, whose clicks take playback to the event.
//
// The program's object `sample` arrives over the web channel. Its calls do not wait for
// an answer, so the values the page reads while drawing are the object's properties (a
// copy the program keeps up to date); the page acknowledges each state it has received so
// that the program's next scripts run against it.
"use strict";

var sample = null;

// The map library places its panes without 3D transforms: the engine draws in software,
// where moving the map by a transform each second costs a third more than moving it by its
// position. Zooming then goes without its animation.
window.L_DISABLE_3D = true;

var g_lastJpgNum = -1;
var g_isStartInitConnect = false;  // the map library has been asked for
var g_isInitConnect = false;       // the map library is loaded and the map exists
var g_isInit = false;
var g_map = null;
var g_script = null;
var g_marker = null;
var g_newlat = 0;
var g_newlng = 0;
var g_panes = {};

// Two consecutive track points further apart than this (degrees, longitude shrunk by the
// cosine of the latitude) begin a new stretch: about 150 m, a gap in the recording.
var kSplitDegrees = 0.001385;

// Marker icons by event kind.
var kIconDir = "qrc:/map/icons/";
var g_iconurl = [
    "impact.svg", "impact.svg", "impact.svg", "impact.svg", "impact.svg",
    "userpoint.svg", "emergencystop.svg", "parking.svg", "speeding.svg",
    "speedcamera.svg", "radar.svg",
    "ds_steering.svg", "ds_acceleration.svg", "ds_braking.svg"
].map(function (name) { return kIconDir + name; });
var kShadowUrl = kIconDir + "shadow.svg";

// ---- the program's methods ------------------------------------------------------------

function DecodeTrack(text) {
    if (typeof text !== "string" || text.length === 0) return null;
    var bin = atob(text);
    var bytes = new Uint8Array(bin.length);
    for (var i = 0; i < bin.length; i++) bytes[i] = bin.charCodeAt(i);
    return new Float64Array(bytes.buffer, 0, bytes.length >> 3);
}

var host = {
    JS2C_ConnectTest: function () { sample.JS2C_ConnectTest(); return sample.connected === true; },
    JS2C_GetMapURL: function () { return sample.mapUrl; },
    JS2C_OnInitHtml: function () { sample.JS2C_OnInitHtml(); },
    JS2C_GetGPSData: function () { return DecodeTrack(sample.gpsData); },
    JS2C_GetGridData: function () { return DecodeTrack(sample.gridData); },
    JS2C_GetRelJpgNum: function () { return sample.relJpgNum; },
    JS2C_OnClickCrashPoint: function (ifile, igrid, ipos, valid, lat, lng, speed, direction) {
        sample.JS2C_OnClickCrashPoint(ifile, igrid, ipos, valid, lat, lng, speed, direction);
    },
    JS2C_SetSend: function () { sample.JS2C_SetSend(); }
};

// ---- positions ------------------------------------------------------------------------

// A point on the earth.
function IsPosition(lat, lng) {
    return isFinite(lat) && isFinite(lng) && Math.abs(lat) <= 90 && Math.abs(lng) <= 180;
}

// A coordinate of 1000 or more (or none at all) is "no position". Anything below goes on
// to the marker, which only moves to a track point or to a point on the earth.
function IsNoCoordinate(v) {
    return !(v < 1000);
}

// ---- point lists and stretches ----------------------------------------------------------

function PointList() {
    this.points = [];      // [lat, lng]
    this.JpgNumList = [];  // frame of each point
}

PointList.prototype.GetPoints = function (a) {
    if (!g_isInitConnect || !a || a.length <= 1) return;
    // Triples, then the count, which is never read as a point.
    for (var i = 0; i + 3 <= a.length - 1; i += 3) {
        this.points.push([a[i], a[i + 1]]);
        this.JpgNumList.push(Number(a[i + 2]));
    }
};

PointList.prototype.ReleasePoints = function () {
    this.points = [];
    this.JpgNumList = [];
};

// The points start..end, both ends included.
PointList.prototype.DrawGridLine = function (start, end, color, opacity, z) {
    if (!g_isInitConnect || !g_map) return null;
    var path = this.points.slice(start, end + 1);
    if (path.length === 0) return null;
    return L.polyline(path, {
        interactive: false, color: color, opacity: opacity, weight: 3,
        pane: g_panes[z].pane, renderer: g_panes[z].renderer
    }).addTo(g_map);
};

function OrbitGrp(start, end) {
    this.start = start;
    this.end = end;
}

// The stretches of a point list: a new one begins after every gap.
function SplitTrack(points) {
    var groups = [];
    if (points.length === 0) return groups;
    var start = 0;
    for (var i = 1; i < points.length; i++) {
        var dlat = points[i][0] - points[i - 1][0];
        var dlng = (points[i][1] - points[i - 1][1]) * Math.cos(points[i][0] * Math.PI / 180);
        if (Math.sqrt(dlat * dlat + dlng * dlng) > kSplitDegrees) {
            groups.push(new OrbitGrp(start, i - 1));
            start = i;
        }
    }
    groups.push(new OrbitGrp(start, points.length - 1));
    return groups;
}

function RemoveLines(lines) {
    for (var i = 0; i < lines.length; i++) lines[i].remove();
}

function OrbitGrpList() {
    this.orbitlist = [];  // stretches of the current movie's track
    this.grpline = [];    // lines of the whole track
    this.histline = [];   // travelled part of the current movie
    this.schline = [];    // part still ahead
    this.drawn = [];      // the two above in drawing order: {ahead, line}
    this.grplist = new PointList();
    this.gridlist = new PointList();
}

OrbitGrpList.prototype.GetOrbitGroup = function (points) {
    if (!g_isInitConnect || points.length === 0) return;
    this.orbitlist = SplitTrack(points);
};

OrbitGrpList.prototype.RemoveLineList = function () {
    if (!g_isInitConnect) return;
    RemoveLines(this.histline);
    RemoveLines(this.schline);
    this.histline = [];
    this.schline = [];
    this.drawn = [];
};

// The index of the last point of the current movie at or before the current frame; the
// first point when the frame is before all of them; -1 without a frame.
OrbitGrpList.prototype.GetIndex = function () {
    var jpg = Number(host.JS2C_GetRelJpgNum());
    if (!isFinite(jpg) || jpg === -1) return -1;
    g_lastJpgNum = jpg;
    var list = this.gridlist.JpgNumList;
    var index = 0;
    while (index + 1 < list.length && list[index + 1] <= jpg) index++;
    return index;
};

// The current movie's lines for a marker at point `index`: per stretch, the travelled part
// (blue) up to the point the marker is on and the part ahead (red) from there, in drawing
// order.
OrbitGrpList.prototype.LinesAt = function (index) {
    var lines = [];
    for (var i = 0; i < this.orbitlist.length; i++) {
        var grp = this.orbitlist[i];
        if (grp.end <= index) {
            lines.push({ ahead: false, start: grp.start, end: grp.end });
        } else if (grp.start < index && index < grp.end) {
            lines.push({ ahead: false, start: grp.start, end: index });
            lines.push({ ahead: true, start: index, end: grp.end });
        } else {
            lines.push({ ahead: true, start: grp.start, end: grp.end });
        }
    }
    return lines;
};

OrbitGrpList.prototype.MoveMarker = function () {
    if (!g_isInitConnect) return;
    var index = this.GetIndex();
    if (index < 0) return;
    var list = this.gridlist;
    var wanted = this.LinesAt(index);
    var drawn = this.drawn || [];
    // While the stretches keep their colours (playback within one part) the lines drawn stay
    // and take their new points, in their drawing order; otherwise they are drawn anew.
    var same = drawn.length === wanted.length && wanted.every(function (w, i) { return drawn[i].ahead === w.ahead; });
    if (same) {
        wanted.forEach(function (w, i) { drawn[i].line.setLatLngs(list.points.slice(w.start, w.end + 1)); });
    } else {
        this.RemoveLineList();
        drawn = [];
        for (var i = 0; i < wanted.length; i++) {
            var w = wanted[i];
            var line = w.ahead ? list.DrawGridLine(w.start, w.end, "#FF0000", 0.9, 2)
                               : list.DrawGridLine(w.start, w.end, "#0000FF", 1.0, 2);
            if (!line) continue;
            (w.ahead ? this.schline : this.histline).push(line);
            drawn.push({ ahead: w.ahead, line: line });
        }
        // A line left out (no points) leaves the order unknown: the next move draws anew.
        this.drawn = drawn.length === wanted.length ? drawn : [];
    }
    if (index < list.points.length) loadMarker(list.points[index]);
    else if (IsPosition(g_newlat, g_newlng)) loadMarker([g_newlat, g_newlng]);
};

OrbitGrpList.prototype.CreateLine = function () {
    if (!g_isInitConnect) return;
    g_lastJpgNum = -1;
    this.grplist.ReleasePoints();
    if (!g_script) return;
    var data = host.JS2C_GetGPSData();
    if (!data) return;
    this.grplist.GetPoints(data);
    // The whole track's stretches are its own: the current movie's stay in orbitlist.
    var groups = SplitTrack(this.grplist.points);
    RemoveLines(this.grpline);
    this.grpline = [];
    for (var i = 0; i < groups.length; i++) {
        var line = this.grplist.DrawGridLine(groups[i].start, groups[i].end, "#FF0000", 0.5, 1);
        if (line) this.grpline.push(line);
    }
};

OrbitGrpList.prototype.CreateGridLine = function (iGrid) {
    if (!g_isInitConnect) return;
    g_lastJpgNum = -1;
    this.gridlist.ReleasePoints();
    this.orbitlist = [];
    if (!g_script) return;
    var data = host.JS2C_GetGridData(0);
    if (!data) return;
    this.gridlist.GetPoints(data);
    this.GetOrbitGroup(this.gridlist.points);
    this.MoveMarker();
};

// ---- event markers --------------------------------------------------------------------

function CrashPoint(marker, lat, lng, valid, speed, direction, levelx, levely, levelz, ifile, igrid, ipos) {
    this.marker = marker;
    this.lat = lat;
    this.lng = lng;
    this.valid = valid;
    this.speed = speed;
    this.direction = direction;
    this.levelx = levelx;
    this.levely = levely;
    this.levelz = levelz;
    this.ifile = ifile;
    this.igrid = igrid;
    this.ipos = ipos;
}

function CpList() {
    this.markers = [];
}

CpList.prototype.ClearCrashPos = function () {
    for (var i = 0; i < this.markers.length; i++) this.markers[i].marker.remove();
    this.markers = [];
};

CpList.prototype.AddCrashPos = function (icolor, levelx, levely, levelz, ifile, igrid, ipos, lat, lng, valid,
                                         speed, direction) {
    if (!g_isInitConnect || !IsPosition(lat, lng)) return;
    var marker = CreateCPMarker([lat, lng], icolor);
    if (!marker) return;
    var self = this;
    marker.on("click", function () {
        for (var i = 0; i < self.markers.length; i++)
            if (self.markers[i].marker === marker) self.SetCrashPos(i, null);
    });
    this.markers.push(new CrashPoint(marker, lat, lng, valid, speed, direction, levelx, levely, levelz, ifile,
                                     igrid, ipos));
};

CpList.prototype.SetCrashPos = function (i, predicate) {
    var p = this.markers[i];
    if (!p) return false;
    if (predicate && predicate(p, p.ipos)) return true;
    host.JS2C_OnClickCrashPoint(p.ifile, p.igrid, p.ipos, p.valid, p.lat, p.lng, p.speed, p.direction);
    if (IsPosition(p.lat, p.lng) && ConnectTest()) orbitgrplist.MoveMarker();
    return false;
};

var g_icons = null;

function CreateCPMarker(position, icolor) {
    if (!g_isInitConnect || !g_map) return null;
    if (!g_icons) {
        g_icons = g_iconurl.map(function (url) {
            return L.icon({
                iconUrl: url, iconSize: [32, 32], iconAnchor: [16, 32],
                shadowUrl: kShadowUrl, shadowSize: [49, 32], shadowAnchor: [16, 32]
            });
        });
    }
    var icon = g_icons[icolor];
    if (!icon) return null;
    return L.marker(position, { icon: icon }).addTo(g_map);
}

// ---- the map --------------------------------------------------------------------------

// The plain position marker only moves; one with an icon replaces it.
function loadMarker(position, icon) {
    if (!g_map) return;
    g_map.panTo(position, { animate: false });
    if (g_marker && !icon && !g_marker.hasIcon) {
        g_marker.setLatLng(position);
        return;
    }
    if (g_marker) g_marker.remove();
    g_marker = L.marker(position, icon ? { icon: icon } : {}).addTo(g_map);
    g_marker.hasIcon = !!icon;
}

// The track canvases follow every move of the map (the marker's, once a second). The
// library gives a canvas its size again at each move, and a canvas given a size, even the
// one it has, drops its bitmap and makes a new one: here the bitmap is kept while the size
// stays, and only cleared (the paths are all drawn again right after).
function KeepCanvasBitmaps() {
    L.Canvas.include({
        _update: function () {
            if (this._map._animatingZoom && this._bounds) return;
            L.Renderer.prototype._update.call(this);
            var b = this._bounds, container = this._container, size = b.getSize();
            var m = L.Browser.retina ? 2 : 1;
            L.DomUtil.setPosition(container, b.min);
            var ctx = this._ctx;
            if (container.width !== m * size.x || container.height !== m * size.y) {
                container.width = m * size.x;
                container.height = m * size.y;
                container.style.width = size.x + "px";
                container.style.height = size.y + "px";
            } else {
                ctx.setTransform(1, 0, 0, 1, 0, 0);
                ctx.clearRect(0, 0, container.width, container.height);
            }
            if (m === 2) ctx.scale(2, 2);
            ctx.translate(-b.min.x, -b.min.y);
            this.fire("update");
        }
    });
}

// Called when the map library has loaded.
function loadLibs() {
    window.onerror = function () { return true; };
    KeepCanvasBitmaps();
    L.Icon.Default.imagePath = "qrc:/map/images/";
    g_map = L.map("map_canvas", { center: [0, 0], zoom: 16, zoomControl: true });
    L.tileLayer(sample.tileUrl, {
        maxZoom: 19,
        attribution: '&copy; <a href="https://www.openstreetmap.org/copyright">OpenStreetMap</a> contributors'
    }).addTo(g_map);
    L.control.scale().addTo(g_map);
    // Lines of the whole track (z 1) under those of the current movie (z 2).
    [1, 2].forEach(function (z) {
        var name = "track" + z;
        g_map.createPane(name).style.zIndex = String(400 + z);
        g_panes[z] = { pane: name, renderer: L.canvas({ pane: name }) };
    });
    loadMarker([0, 0]);
    host.JS2C_OnInitHtml();
    g_isInitConnect = true;
}

// Drops the map and the library, so that a later successful connection test loads them
// again.
function DropMap() {
    g_isInit = false;
    if (g_map) g_map.remove();
    g_map = null;
    g_marker = null;
    g_icons = null;
    orbitgrplist = new OrbitGrpList();
    cplist = new CpList();
    if (g_script) g_script.remove();
    g_script = null;
}

function ConnectTest() {
    if (host.JS2C_ConnectTest()) {
        if (!g_isInitConnect && !g_isStartInitConnect) {
            if (g_script) g_script.remove();
            g_script = document.createElement("script");
            g_script.type = "text/javascript";
            g_script.onload = loadLibs;
            // A library that fails to load is asked for again at the next test.
            g_script.onerror = function () { g_isStartInitConnect = false; };
            g_script.src = host.JS2C_GetMapURL();
            document.body.appendChild(g_script);
            g_isStartInitConnect = true;
        }
        return g_isInitConnect;
    }
    g_isStartInitConnect = false;
    g_isInitConnect = false;
    return false;
}

// The marker stays where it is while playback is paused or stopped, however the status is
// written.
function IsMarkerHeld(status) {
    var s = String(status).toLowerCase();
    return s === "pause" || s === "stop";
}

function show() {
    try {
        g_newlat = Number(document.getElementById("map_lat").value);
        g_newlng = Number(document.getElementById("map_lng").value);
        if (!IsNoCoordinate(g_newlat) && !IsNoCoordinate(g_newlng)) {
            if (ConnectTest()) {
                if (!IsMarkerHeld(document.getElementById("map_status").value)) {
                    if ((g_newlat !== 0 && g_newlng !== 0) || g_lastJpgNum === -1) orbitgrplist.MoveMarker();
                }
            } else if (!g_isStartInitConnect) {
                DropMap();
            }
        } else if (!g_isInit) {
            ConnectTest();
            g_isInit = true;
        }
        host.JS2C_SetSend();
    } catch (e) {
        // A failed step must not stop the page's clock.
    }
    setTimeout(show, 1000);
}

function initialize() {
    g_lastJpgNum = -1;
    sample.webMessage.connect(function (json) {
        var message;
        try { message = JSON.parse(json); } catch (e) { return; }
        if (!message || message.val_command !== "update") return;
        document.getElementById("map_lat").value = message.map_lat;
        document.getElementById("map_lng").value = message.map_lng;
        document.getElementById("map_status").value = message.map_status;
    });
    show();
}

var orbitgrplist = new OrbitGrpList();
var cplist = new CpList();

function StartPage() {
    if (typeof qt === "undefined" || !qt.webChannelTransport) return;
    new QWebChannel(qt.webChannelTransport, function (channel) {
        sample = channel.objects.sample;
        if (!sample) return;
        sample.serialChanged.connect(function () { sample.Acknowledge(sample.serial); });
        sample.Acknowledge(sample.serial);
        initialize();
    });
}
