/* Drops one file on the X window under a screen point, the way a file manager does it: the
 * XDND protocol with a text/uri-list offer. Wine turns such a drop into WM_DROPFILES for the
 * window that accepts files, so a script can hand the desktop program a picture as a person would.
 *
 *   xdnd_drop FILE X Y      (FILE an absolute path; X, Y in screen pixels)
 *
 * Exit status 0 when the target accepted and finished the drop. */
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

static Display* display;
static Window source;
static Atom aware, enter, position, status, drop, finished, selection, uriList, actionCopy;

static int IsAware(Window w)
{
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char* data = NULL;
    int found = XGetWindowProperty(display, w, aware, 0, 1, False, AnyPropertyType, &type, &format, &count, &after,
                                   &data) == Success && type != None;
    if (data) XFree(data);
    return found;
}

/* The deepest window under the point that announces XDND support. */
static Window FindTarget(int x, int y)
{
    Window root = DefaultRootWindow(display), from = root, child, target = None;
    int localX, localY;
    while (XTranslateCoordinates(display, root, from, x, y, &localX, &localY, &child) && child != None) {
        if (IsAware(child)) target = child;
        from = child;
    }
    return target;
}

static void Send(Window target, Atom kind, long a, long b, long c, long d)
{
    XEvent e;
    memset(&e, 0, sizeof e);
    e.xclient.type = ClientMessage;
    e.xclient.window = target;
    e.xclient.message_type = kind;
    e.xclient.format = 32;
    e.xclient.data.l[0] = (long)source;
    e.xclient.data.l[1] = a;
    e.xclient.data.l[2] = b;
    e.xclient.data.l[3] = c;
    e.xclient.data.l[4] = d;
    XSendEvent(display, target, False, NoEventMask, &e);
    XFlush(display);
}

static void AnswerSelection(XSelectionRequestEvent* request, const char* uri)
{
    XEvent reply;
    memset(&reply, 0, sizeof reply);
    reply.xselection.type = SelectionNotify;
    reply.xselection.requestor = request->requestor;
    reply.xselection.selection = request->selection;
    reply.xselection.target = request->target;
    reply.xselection.time = request->time;
    reply.xselection.property = None;
    if (request->target == uriList) {
        Atom property = request->property != None ? request->property : request->target;
        XChangeProperty(display, request->requestor, property, uriList, 8, PropModeReplace,
                        (const unsigned char*)uri, (int)strlen(uri));
        reply.xselection.property = property;
    }
    XSendEvent(display, request->requestor, False, NoEventMask, &reply);
    XFlush(display);
}

int main(int argc, char** argv)
{
    if (argc != 4 || argv[1][0] != '/') {
        fprintf(stderr, "usage: xdnd_drop /absolute/file X Y\n");
        return 2;
    }
    char uri[4096];
    snprintf(uri, sizeof uri, "file://%s\r\n", argv[1]);
    const int x = atoi(argv[2]), y = atoi(argv[3]);

    display = XOpenDisplay(NULL);
    if (!display) {
        fprintf(stderr, "xdnd_drop: no X display\n");
        return 1;
    }
    aware = XInternAtom(display, "XdndAware", False);
    enter = XInternAtom(display, "XdndEnter", False);
    position = XInternAtom(display, "XdndPosition", False);
    status = XInternAtom(display, "XdndStatus", False);
    drop = XInternAtom(display, "XdndDrop", False);
    finished = XInternAtom(display, "XdndFinished", False);
    selection = XInternAtom(display, "XdndSelection", False);
    uriList = XInternAtom(display, "text/uri-list", False);
    actionCopy = XInternAtom(display, "XdndActionCopy", False);

    source = XCreateSimpleWindow(display, DefaultRootWindow(display), -10, -10, 1, 1, 0, 0, 0);
    XSetSelectionOwner(display, selection, source, CurrentTime);
    const Window target = FindTarget(x, y);
    if (target == None) {
        fprintf(stderr, "xdnd_drop: no window accepting drops at %d,%d\n", x, y);
        return 1;
    }

    Send(target, enter, 5L << 24, (long)uriList, 0, 0);
    Send(target, position, 0, ((long)x << 16) | (y & 0xFFFF), CurrentTime, (long)actionCopy);

    const time_t deadline = time(NULL) + 10;
    int dropped = 0;
    while (time(NULL) < deadline) {
        if (!XPending(display)) {
            struct timespec pause = {0, 20 * 1000 * 1000};
            nanosleep(&pause, NULL);
            continue;
        }
        XEvent e;
        XNextEvent(display, &e);
        if (e.type == SelectionRequest) {
            AnswerSelection(&e.xselectionrequest, uri);
        } else if (e.type == ClientMessage && e.xclient.message_type == status && !dropped) {
            if (!(e.xclient.data.l[1] & 1)) {
                fprintf(stderr, "xdnd_drop: the window refused the drop\n");
                return 1;
            }
            Send(target, drop, 0, CurrentTime, 0, 0);
            dropped = 1;
        } else if (e.type == ClientMessage && e.xclient.message_type == finished) {
            XCloseDisplay(display);
            return 0;
        }
    }
    fprintf(stderr, "xdnd_drop: no answer from the window\n");
    return 1;
}
