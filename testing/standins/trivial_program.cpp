// Stand-in for the gateway's plain server programs (TXTSVC.EXE / MMSVC.EXE). The configuration
// program never runs them; it only hands their paths to the firewall helper, so all they need
// is to exist and be a valid executable.
int main()
{
    return 0;
}
