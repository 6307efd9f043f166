-- The two tables of the product that Spekolar uses, in the schema QRVYSTEM:
-- the tenant table it reads once per run and the message table it writes.
-- Loaded into an existing database QRVYSTEM (latin1, so Windows-1252 bytes
-- are stored as they are sent). The server runs with lower_case_table_names=1,
-- so the lower-case and upper-case spellings of the statements name the same
-- tables.

-- Tenants. A run works for the row with the lowest MNDNUM among those with
-- MNDKON = 0 and a schema. MNDEML is wider than the program's 50-character
-- buffer on purpose: the product may hold longer addresses, which the
-- program receives cut.
CREATE TABLE qrvystem.qrv112mnd (
  MNDLIZ VARCHAR(5)  NULL,
  MNDNUM VARCHAR(5)  NOT NULL,
  MNDEML VARCHAR(60) NULL,
  MNDSCH VARCHAR(20) NULL,
  MNDKON INT         NOT NULL DEFAULT 0,
  PRIMARY KEY (MNDNUM)
) ENGINE=InnoDB DEFAULT CHARSET=latin1;

-- Messages shown by the product. Spekolar inserts rows and counts its own
-- earlier ones by MsgUid; MsgDat is the server's time of the insert.
CREATE TABLE QRVYSTEM.QRV200MSG (
  MsgTnr INT           NULL,
  MsgTxt VARCHAR(80)   NULL,
  MsgLnk VARCHAR(80)   NULL,
  MsgMod VARCHAR(50)   NULL,
  MsgSrc VARCHAR(50)   NULL,
  MsgSch VARCHAR(20)   NULL,
  MsgCat VARCHAR(25)   NULL,
  MsgAdr VARCHAR(10)   NULL,
  MsgBer VARCHAR(10)   NULL,
  MsgPri INT           NULL,
  MsgTyp VARCHAR(5)    NULL,
  MsgBrk VARCHAR(10)   NULL,
  MsgVal INT           NULL,
  MsgDbg VARCHAR(1024) NULL,
  MsgMnd VARCHAR(5)    NULL,
  MsgLiz VARCHAR(5)    NULL,
  MsgTin VARCHAR(14)   NULL,
  MsgSts INT           NULL,
  MsgErf VARCHAR(50)   NULL,
  MsgDat DATETIME      NULL,
  MsgUid VARCHAR(40)   NULL
) ENGINE=InnoDB DEFAULT CHARSET=latin1;
