// Found first on the include path of the portable engine build: the engine
// reaches a serial line only through link/serial_control.h.
#error "the portable engine must not use termios; go through SerialControl"
