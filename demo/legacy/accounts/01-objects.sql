-- Accounts on the old server: the ledger before the move to HARBOUR-SQL01.

-- @object User Defined Datatype | acctno | Mar  3 1999  9:14AM
EXEC sp_addtype acctno, 'char(8)', 'NOT NULL'

-- @object Default | acct_zero | Mar  3 1999  9:15AM
CREATE DEFAULT acct_zero AS 0

-- @object Rule | acct_type_rule | Mar  3 1999  9:16AM
CREATE RULE acct_type_rule AS @type IN ('A', 'L', 'I', 'E', 'Q')

-- @object User Table | accounts | Mar  3 1999  9:20AM
CREATE TABLE accounts (
    acct_no     acctno        NOT NULL PRIMARY KEY,
    acct_name   varchar(60)   NOT NULL,
    acct_type   char(1)       NOT NULL,
    balance     money         NOT NULL
)

-- @object User Table | journal | Mar  3 1999  9:22AM
CREATE TABLE journal (
    journal_id  int IDENTITY  NOT NULL PRIMARY KEY,
    posted_on   datetime      NOT NULL,
    memo        varchar(255)  NULL,
    posted_by   varchar(30)   NOT NULL DEFAULT SUSER_NAME()
)

-- @object User Table | journal_line | Mar  3 1999  9:23AM
CREATE TABLE journal_line (
    journal_id  int           NOT NULL REFERENCES journal (journal_id),
    line_no     smallint      NOT NULL,
    acct_no     acctno        NOT NULL REFERENCES accounts (acct_no),
    debit       money         NOT NULL,
    credit      money         NOT NULL,
    PRIMARY KEY (journal_id, line_no)
)

-- @object View | trial_balance | Apr 12 1999  4:02PM
CREATE VIEW trial_balance AS
SELECT a.acct_no, a.acct_name, SUM(l.debit) AS debits, SUM(l.credit) AS credits
  FROM accounts a, journal_line l
 WHERE a.acct_no = l.acct_no
 GROUP BY a.acct_no, a.acct_name

-- @object Stored Procedure | post_journal | May  5 2014 10:20AM
CREATE PROCEDURE post_journal @journal_id int AS
BEGIN TRANSACTION
IF (SELECT SUM(debit) - SUM(credit) FROM journal_line WHERE journal_id = @journal_id) <> 0
BEGIN
    ROLLBACK TRANSACTION
    RAISERROR 50001 'Journal does not balance'
    RETURN 1
END
UPDATE accounts SET balance = balance + (SELECT SUM(l.debit - l.credit) FROM journal_line l
                                          WHERE l.journal_id = @journal_id AND l.acct_no = accounts.acct_no)
 WHERE acct_no IN (SELECT acct_no FROM journal_line WHERE journal_id = @journal_id)
COMMIT TRANSACTION
RETURN 0

-- @object Stored Procedure | month_end | Jan 31 2001  6:45PM
CREATE PROCEDURE month_end @period char(6) AS
SELECT acct_no, acct_name, debits - credits AS movement
  FROM trial_balance
 ORDER BY acct_no
PRINT 'Month end run for period ' + @period

-- @object Stored Procedure | reverse_journal | Sep  9 2003 11:05AM
CREATE PROCEDURE reverse_journal @journal_id int AS
DECLARE @new_id int
BEGIN TRANSACTION
INSERT journal (posted_on, memo) SELECT GETDATE(), 'Reversal of ' + CONVERT(varchar(10), @journal_id) FROM journal WHERE journal_id = @journal_id
SELECT @new_id = @@IDENTITY
INSERT journal_line (journal_id, line_no, acct_no, debit, credit)
SELECT @new_id, line_no, acct_no, credit, debit FROM journal_line WHERE journal_id = @journal_id
COMMIT TRANSACTION
EXEC post_journal @new_id

-- @object Trigger | journal_line_ins | Mar  3 1999  9:40AM
CREATE TRIGGER journal_line_ins ON journal_line FOR INSERT AS
IF EXISTS (SELECT * FROM inserted WHERE debit < 0 OR credit < 0)
BEGIN
    RAISERROR 50002 'Amounts are entered as positive debits or credits'
    ROLLBACK TRANSACTION
END
