// ruvo_sim: a stand-in for the RUVO-LoRa server with virtual modems.
int main()
{
    return 0;
}
